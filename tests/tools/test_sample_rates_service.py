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
import urllib.parse

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

    def test_range_form_and_publication_hour(self):
        url = "/scripts/XML_dynamic.asp?date_req1=30/11/2026&date_req2=07/12/2026&VAL_NM_RQ=R01235"
        status, body = service.answer(url, MONDAY, 6)
        text = body.decode("cp1251")
        self.assertEqual(status, 200)
        self.assertIn('<ValCurs ID="R01235" DateRange1="30.11.2026" DateRange2="07.12.2026"', text)
        dates = re.findall(r'<Record Date="([\d.]+)" Id="R01235"><Nominal>1</Nominal><Value>[\d,]+</Value>', text)
        self.assertEqual(dates, ["01.12.2026", "02.12.2026", "03.12.2026", "04.12.2026", "05.12.2026"])
        daily = service.answer("/scripts/XML_daily.asp?date_req=03/12/2026", MONDAY, 6)[1].decode("cp1251")
        usd = re.search(r"<CharCode>USD</CharCode>.*?<Value>([^<]*)</Value>", daily, re.S).group(1)
        self.assertIn('<Record Date="03.12.2026" Id="R01235"><Nominal>1</Nominal><Value>%s</Value>' % usd, text)
        # An unknown ID or a range without tables: an empty root; a damaged request: an error.
        empty = service.answer(url.replace("R01235", "R99999"), MONDAY, 6)[1].decode("cp1251")
        self.assertNotIn("<Record", empty)
        self.assertIn("</ValCurs>", empty)
        self.assertEqual(service.answer(url.replace("30/11", "xx/11"), MONDAY, 6)[0], 500)
        self.assertEqual(service.plan(url, "www.cbr.ru", MONDAY, 6, "norange").status, 404)
        self.assertEqual(service.plan("/scripts/XML_daily.asp?nocache", "www.cbr.ru", MONDAY, 6, "norange").status,
                         200)
        # From the publication hour on a working day the latest table is tomorrow's.
        self.assertEqual(service.latest_day(datetime.datetime(2026, 12, 7, 12, 59), 13), MONDAY)
        self.assertEqual(service.latest_day(datetime.datetime(2026, 12, 7, 13, 0), 13), MONDAY + datetime.timedelta(1))
        self.assertEqual(service.latest_day(datetime.datetime(2026, 12, 5, 18, 0), 13), datetime.date(2026, 12, 5))
        self.assertEqual(service.latest_day(datetime.datetime(2026, 12, 7, 18, 0), None), MONDAY)

    def test_absolute_form_and_unknown_paths(self):
        origin = service.answer("/scripts/XML_daily.asp?date_req=02/12/2026", MONDAY, 6)
        absolute = service.answer("http://www.cbr.ru/scripts/XML_daily.asp?date_req=02/12/2026", MONDAY, 6)
        self.assertEqual(origin, absolute)
        self.assertEqual(service.answer("/index.html", MONDAY, 6)[0], 404)

    def test_a_holiday_answers_with_the_last_table_before_it(self):
        holiday = service.parse_holiday("2026-12-03..+1", MONDAY)  # Thursday 3 to Tuesday 8 December
        for asked, table in (("nocache", 2), ("date_req=04/12/2026", 2), ("date_req=01/12/2026", 1)):
            body = service.plan("/scripts/XML_daily.asp?" + asked, "h", MONDAY, 6, "none", holiday).body
            self.assertEqual(table_date(body), datetime.date(2026, 12, table), asked)
        for wrong in ("+1..-1", "soon..later"):
            self.assertRaises(ValueError, service.parse_holiday, wrong, MONDAY)


class Faults(unittest.TestCase):
    LATEST = "/scripts/XML_daily.asp?nocache"

    def test_cut_and_block_page(self):
        cut = service.plan(self.LATEST, "www.cbr.ru", MONDAY, 6, "cut")
        self.assertEqual(cut.body, service.answer(self.LATEST, MONDAY, 6)[1])  # announced whole
        self.assertNotIn(b"</ValCurs>", cut.body[:cut.sent])  # sent without the root's end tag
        block = service.plan(self.LATEST, "www.cbr.ru", MONDAY, 6, "block")
        self.assertGreater(len(block.body), 256)  # long enough to reach the plug-in's reader
        self.assertEqual(service.plan("/index.html", "h", MONDAY, 6, "block").status, 404)  # rates requests only

    def test_redirect_to_the_moved_document(self):
        for target, host, location in (
                (self.LATEST, "127.0.0.1:8080", "http://127.0.0.1:8080/moved/scripts/XML_daily.asp?nocache"),
                ("http://www.cbr.ru/scripts/XML_daily.asp?date_req=02/12/2026", "proxy",
                 "http://www.cbr.ru/moved/scripts/XML_daily.asp?date_req=02/12/2026")):
            reply = service.plan(target, host, MONDAY, 6, "redirect")
            self.assertEqual((reply.status, reply.location), (302, location))
            moved = service.plan(location, host, MONDAY, 6, "redirect")
            self.assertEqual((moved.status, moved.body), service.answer(target, MONDAY, 6))


def start_service(*extra, env=None):
    folder = tempfile.mkdtemp()
    port_file = os.path.join(folder, "port")
    process = subprocess.Popen([sys.executable, os.path.join(TOOLS, "sample_rates_service.py"),
                                "--port-file", port_file] + list(extra),
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=env)
    for _ in range(100):
        if os.path.exists(port_file):
            break
        time.sleep(0.05)
    with open(port_file) as f:
        return process, int(f.read())


def get(port, target, timeout=10):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        connection.request("GET", target, headers={"Host": "www.cbr.ru"})
        response = connection.getresponse()
        return response.status, dict(response.getheaders()), response.read()
    finally:
        connection.close()


class Running(unittest.TestCase):
    def test_faults_on_the_wire_and_switched_while_running(self):
        env = dict(os.environ, VOK_DEMO_FAULT="stall")
        process, port = start_service(env=env)
        try:
            began = time.monotonic()
            with self.assertRaises(OSError):  # socket.timeout: nothing ever comes
                get(port, "/scripts/XML_daily.asp?nocache", timeout=1)
            self.assertLess(time.monotonic() - began, 5)

            self.assertEqual(get(port, "/demo/fault?mode=cut")[0], 200)
            with self.assertRaises(http.client.IncompleteRead):
                get(port, "/scripts/XML_daily.asp?nocache")

            get(port, "/demo/fault?mode=redirect")
            status, headers, _ = get(port, "/scripts/XML_daily.asp?nocache")
            self.assertEqual(status, 302)
            moved = urllib.parse.urlsplit(headers["Location"])
            status, _, body = get(port, moved.path + "?" + moved.query)
            self.assertEqual(status, 200)
            self.assertIsNotNone(table_date(body))

            get(port, "/demo/fault?mode=block")
            status, headers, body = get(port, "/scripts/XML_daily.asp?nocache")
            self.assertEqual(status, 200)
            self.assertIn("text/html", headers["Content-Type"])

            self.assertEqual(get(port, "/demo/fault?mode=bogus")[0], 400)
            get(port, "/demo/fault?mode=none")
            self.assertIsNotNone(table_date(get(port, "/scripts/XML_daily.asp?nocache")[2]))
        finally:
            process.terminate()
            process.wait(timeout=10)

    def test_serves_over_loopback_also_as_a_proxy(self):
        process, port = start_service()
        try:
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
