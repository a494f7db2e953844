#!/usr/bin/env python3
"""A small local stand-in for the bank's daily-rates service, for the offline demo.

It serves documents in the bank's format (windows-1251, the bank's structure and
currency list) for the last few weeks, answering both request forms:

    /scripts/XML_daily.asp?nocache                 the latest table
    /scripts/XML_daily.asp?date_req=DD/MM/YYYY     the table of that day

as the bank does: tables are dated Tuesday to Saturday (the rates set on a working
day take effect the next day), and a request for any day gets the latest table on
or before it, dated with its own date. Requests addressed to the bank's host in
absolute form ("GET http://www.cbr.ru/scripts/... HTTP/1.1"), as a proxy receives
them, are answered the same way, so the plug-in can reach it through its own
proxy setting.

Usage: python3 tools/sample_rates_service.py [--port N] [--port-file PATH] [--weeks N]
With --port 0 (the default) it picks a free loopback port and prints it, and writes
it to --port-file when given.
"""
import argparse
import datetime
import http.server
import math
import os
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_fixture import CURRENCIES, DECLARATION, unit_rate  # noqa: E402

FIRST_TABLE_WEEKDAYS = {1, 2, 3, 4, 5}  # Tuesday .. Saturday (Monday is 0)


def table_day_for(day, today, weeks):
    """The date of the table the bank answers for a request of day, or None."""
    if day > today:
        day = today
    earliest = today - datetime.timedelta(weeks=weeks)
    while day >= earliest:
        if day.weekday() in FIRST_TABLE_WEEKDAYS:
            return day
        day -= datetime.timedelta(days=1)
    return None


def price(base, nominal, date):
    """A deterministic daily wobble around the base price, four decimals, comma."""
    n = date.toordinal()
    value = float(base.replace(",", ".")) * (1.0 + 0.004 * math.sin(n * 0.9) + 0.002 * math.sin(n * 0.37))
    return ("%.4f" % value).replace(".", ",")


def document(date):
    eol = "\r\n"
    lines = [DECLARATION,
             '<ValCurs Date="%02d.%02d.%04d" name="Foreign Currency Market">' % (date.day, date.month, date.year)]
    for ident, num, code, nominal, name, value in CURRENCIES:
        value = price(value, nominal, date)
        lines += ['<Valute ID="%s">' % ident, "<NumCode>%s</NumCode>" % num, "<CharCode>%s</CharCode>" % code,
                  "<Nominal>%d</Nominal>" % nominal, "<Name>%s</Name>" % name, "<Value>%s</Value>" % value,
                  "<VunitRate>%s</VunitRate>" % unit_rate(value, nominal), "</Valute>"]
    lines.append("</ValCurs>")
    return (eol.join(lines) + eol).encode("cp1251")


def answer(target, today, weeks):
    """(status, body) for a request target in origin or absolute form."""
    parsed = urllib.parse.urlsplit(target)
    if parsed.path.lower() != "/scripts/xml_daily.asp":
        return 404, b"<html><body>Not found</body></html>"
    query = urllib.parse.parse_qs(parsed.query, keep_blank_values=True)
    day = today
    if "date_req" in query:
        try:
            day = datetime.datetime.strptime(query["date_req"][0], "%d/%m/%Y").date()
        except ValueError:
            return 200, (DECLARATION + '<ValCurs Date="" name="Foreign Currency Market"></ValCurs>').encode("cp1251")
    table = table_day_for(day, today, weeks)
    if table is None:
        return 200, (DECLARATION + '<ValCurs Date="" name="Foreign Currency Market"></ValCurs>').encode("cp1251")
    return 200, document(table)


class Handler(http.server.BaseHTTPRequestHandler):
    weeks = 6
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        status, body = answer(self.path, datetime.date.today(), self.weeks)
        self.send_response(status)
        self.send_header("Content-Type", "application/xml; charset=windows-1251")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):
        sys.stderr.write("sample-rates: " + (fmt % args) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--weeks", type=int, default=6)
    args = parser.parse_args()
    Handler.weeks = args.weeks
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    port = server.server_address[1]
    print("sample rates service on 127.0.0.1:%d" % port, flush=True)
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
