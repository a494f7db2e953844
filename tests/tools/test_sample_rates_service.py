"""The offline demo's sample rates service: both request forms, as the bank answers them."""
import datetime
import http.client
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOOLS = os.path.join(HERE, "..", "..", "tools")
sys.path.insert(0, TOOLS)
import sample_rates_service as service  # noqa: E402

MONDAY = datetime.date(2026, 12, 7)


def table_date(body):
    text = body.decode("cp1251")
    match = re.search(r'<ValCurs Date="(\d\d)\.(\d\d)\.(\d{4})"', text)
    return datetime.date(int(match.group(3)), int(match.group(2)), int(match.group(1))) if match else None


class Answers(unittest.TestCase):
    def test_latest_and_given_days(self):
        status, body = service.answer("/scripts/XML_daily.asp?nocache", MONDAY, 6)
        self.assertEqual(status, 200)
        self.assertEqual(table_date(body), datetime.date(2026, 12, 5))  # Saturday's table
        # A past working day has its own table; the weekend gets Saturday's.
        self.assertEqual(table_date(service.answer("/scripts/XML_daily.asp?date_req=02/12/2026", MONDAY, 6)[1]),
                         datetime.date(2026, 12, 2))
        self.assertEqual(table_date(service.answer("/scripts/XML_daily.asp?date_req=29/11/2026", MONDAY, 6)[1]),
                         datetime.date(2026, 11, 28))
        # A future day gets the latest table there is.
        self.assertEqual(table_date(service.answer("/scripts/XML_daily.asp?date_req=20/12/2026", MONDAY, 6)[1]),
                         datetime.date(2026, 12, 5))
        # Beyond the weeks kept there is no table.
        self.assertIsNone(table_date(service.answer("/scripts/XML_daily.asp?date_req=01/01/2020", MONDAY, 6)[1]))

    def test_bank_structure_in_windows_1251(self):
        body = service.answer("/scripts/XML_daily.asp?date_req=03/12/2026", MONDAY, 6)[1]
        text = body.decode("cp1251")
        self.assertTrue(text.startswith('<?xml version="1.0" encoding="windows-1251"?>'))
        self.assertIn("<Name>Доллар США</Name>", text)
        self.assertEqual(text.count("<Valute ID="), len(service.CURRENCIES))
        for tag in ("NumCode", "CharCode", "Nominal", "Value", "VunitRate"):
            self.assertEqual(text.count("<%s>" % tag), len(service.CURRENCIES), tag)
        self.assertRegex(text, r"<CharCode>USD</CharCode>\s*<Nominal>1</Nominal>\s*<Name>[^<]*</Name>\s*"
                               r"<Value>\d+,\d{4}</Value>")
        # Different days, different prices.
        other = service.answer("/scripts/XML_daily.asp?date_req=04/12/2026", MONDAY, 6)[1].decode("cp1251")
        self.assertNotEqual(re.findall(r"<Value>([^<]*)</Value>", text), re.findall(r"<Value>([^<]*)</Value>", other))

    def test_absolute_form_and_unknown_paths(self):
        origin = service.answer("/scripts/XML_daily.asp?date_req=02/12/2026", MONDAY, 6)
        absolute = service.answer("http://www.cbr.ru/scripts/XML_daily.asp?date_req=02/12/2026", MONDAY, 6)
        self.assertEqual(origin, absolute)
        self.assertEqual(service.answer("/index.html", MONDAY, 6)[0], 404)


class Running(unittest.TestCase):
    def test_serves_over_loopback_also_as_a_proxy(self):
        folder = tempfile.mkdtemp()
        port_file = os.path.join(folder, "port")
        process = subprocess.Popen([sys.executable, os.path.join(TOOLS, "sample_rates_service.py"),
                                    "--port-file", port_file], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            for _ in range(100):
                if os.path.exists(port_file):
                    break
                time.sleep(0.05)
            port = int(open(port_file).read())
            for target in ("/scripts/XML_daily.asp?nocache", "http://www.cbr.ru/scripts/XML_daily.asp?nocache"):
                connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
                connection.request("GET", target, headers={"Host": "www.cbr.ru"})
                response = connection.getresponse()
                body = response.read()
                self.assertEqual(response.status, 200, target)
                self.assertIn("windows-1251", response.getheader("Content-Type"))
                self.assertIsNotNone(table_date(body), target)
                connection.close()
        finally:
            process.terminate()
            process.wait(timeout=10)


if __name__ == "__main__":
    unittest.main()
