#!/usr/bin/env python3
"""A small local stand-in for the bank's daily-rates service, for the offline demo.

It serves documents in the bank's format (windows-1251, the bank's structure and
currency list) for the last few weeks, answering both request forms:

    /scripts/XML_daily.asp?nocache                 the latest table
    /scripts/XML_daily.asp?date_req=DD/MM/YYYY     the table of that day
    /scripts/XML_dynamic.asp?date_req1=DD/MM/YYYY&date_req2=DD/MM/YYYY&VAL_NM_RQ=R01235
                                                   one currency over a range of days

as the bank does: tables are dated Tuesday to Saturday (the rates set on a working
day take effect the next day), and a request for any day gets the latest table on
or before it, dated with its own date. The range form lists one Record per table
in the range (an empty root when there is none, or the ID is unknown). With
--publish-hour H, from H o'clock on a working day the latest table is tomorrow's,
as the bank publishes it the afternoon before. Requests addressed to the bank's host in
absolute form ("GET http://www.cbr.ru/scripts/... HTTP/1.1"), as a proxy receives
them, are answered the same way, so the plug-in can reach it through its own
proxy setting.

It can also misbehave on request, so that the plug-in's handling of a bad
network or service can be shown and tested. The fault applies to the rates
requests; it is chosen with --fault, with the environment variable
VOK_DEMO_FAULT (so "VOK_DEMO_FAULT=stall scripts/run.sh --demo" works), or while
running with a request for /demo/fault?mode=NAME:

    cut       the table is announced whole but cut off at 40%, then the connection closes
    stall     the request is taken and never answered
    redirect  a 302 to the same document under /moved/, which is served normally
    block     an operator's HTML block page with status 200
    norange   the range form answers 404 (daily tables as usual)
    none      the service behaves (the default)

It can also hold a holiday, as the bank does every New Year and in May: no table
is published from FROM to TO, so every request for a day in it, and the request for
the latest table while it lasts, gets the last table before it. It is chosen with
--holiday FROM..TO or with the environment variable VOK_DEMO_HOLIDAY. FROM and
TO are dates (2027-01-01) or days from today (-3, 0, +2): --holiday=-4..+3 puts
today four days into one.

Usage: python3 tools/sample_rates_service.py [--port N] [--port-file PATH] [--weeks N] [--fault NAME]
                                             [--publish-hour H]
                                             [--holiday FROM..TO]
With --port 0 (the default) it picks a free loopback port and prints it, and writes
it to --port-file when given.
"""
import argparse
import datetime
import http.server
import math
import os
import sys
import threading
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_fixture import CURRENCIES, DECLARATION, unit_rate  # noqa: E402

FIRST_TABLE_WEEKDAYS = {1, 2, 3, 4, 5}  # Tuesday .. Saturday (Monday is 0)
FAULTS = ("none", "cut", "stall", "redirect", "block", "norange")
MOVED_PREFIX = "/moved"
BLOCK_PAGE = ("<!DOCTYPE html><html><head><title>Access restricted</title></head><body>"
              "<h1>This resource is not available</h1><p>Access to the requested site is restricted on this "
              "network. If you think this is a mistake, contact your mobile operator's support service.</p>"
              "<p>Reference: demo-block-page</p></body></html>\n").encode("ascii")


def latest_day(now, publish_hour):
    """The last day a table may carry: tomorrow once it is published, else today."""
    today = now.date()
    tomorrow = today + datetime.timedelta(days=1)
    if publish_hour is not None and now.hour >= publish_hour and tomorrow.weekday() in FIRST_TABLE_WEEKDAYS:
        return tomorrow
    return today


def table_day_for(day, today, weeks):
    """The date of the table the bank answers for a request of day, or None;
    today is the last day a table may carry."""
    if day > today:
        day = today
    earliest = today - datetime.timedelta(weeks=weeks)
    while day >= earliest:
        if day.weekday() in FIRST_TABLE_WEEKDAYS:
            return day
        day -= datetime.timedelta(days=1)
    return None


def parse_holiday(text, today):
    """FROM..TO as (first, last): each end a date (YYYY-MM-DD) or a number of days
    from today. None for "none" or nothing. ValueError when it is neither."""
    if text in (None, "", "none"):
        return None
    ends = []
    for end in text.split(".."):
        try:
            ends.append(today + datetime.timedelta(days=int(end)))
        except ValueError:
            ends.append(datetime.date.fromisoformat(end))
    if len(ends) != 2 or ends[0] > ends[1]:
        raise ValueError("a holiday is FROM..TO, FROM not after TO")
    return ends[0], ends[1]


def day_before_holiday(day, today, holiday):
    """The day whose table answers a request for day: during a holiday nothing is
    published, so a day in it (the latest, too, while it lasts) gets the table in
    force on the day before it began."""
    day = min(day, today)
    if holiday and holiday[0] <= day <= holiday[1]:
        return holiday[0] - datetime.timedelta(days=1)
    return day


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


def range_document(ident, first, last, today, weeks, holiday=None):
    """One currency's Records for the tables dated first..last (the bank's dynamic form)."""
    eol = "\r\n"
    head = '<ValCurs ID="%s" DateRange1="%s" DateRange2="%s" name="Foreign Currency Market Dynamic">' % (
        ident, first.strftime("%d.%m.%Y"), last.strftime("%d.%m.%Y"))
    lines = [DECLARATION, head]
    currency = next((c for c in CURRENCIES if c[0] == ident), None)
    day = first
    while currency and day <= last:
        if table_day_for(day_before_holiday(day, today, holiday), today, weeks) == day:
            nominal, value = currency[3], price(currency[5], currency[3], day)
            lines.append('<Record Date="%s" Id="%s"><Nominal>%d</Nominal><Value>%s</Value>'
                         '<VunitRate>%s</VunitRate></Record>' % (day.strftime("%d.%m.%Y"), ident, nominal, value,
                                                                  unit_rate(value, nominal)))
        day += datetime.timedelta(days=1)
    lines.append("</ValCurs>")
    return (eol.join(lines) + eol).encode("cp1251")


def range_answer(query, today, weeks, holiday=None):
    try:
        first = datetime.datetime.strptime(query["date_req1"][0], "%d/%m/%Y").date()
        last = datetime.datetime.strptime(query["date_req2"][0], "%d/%m/%Y").date()
        ident = query["VAL_NM_RQ"][0]
    except (KeyError, ValueError):
        return 500, b"<html><body>Bad request</body></html>"
    return 200, range_document(ident, first, last, today, weeks, holiday)


def answer(target, today, weeks, holiday=None):
    """(status, body) for a request target in origin or absolute form; today is
    the last day a table may carry."""
    parsed = urllib.parse.urlsplit(target)
    query = urllib.parse.parse_qs(parsed.query, keep_blank_values=True)
    if parsed.path.lower() == "/scripts/xml_dynamic.asp":
        return range_answer(query, today, weeks, holiday)
    if parsed.path.lower() != "/scripts/xml_daily.asp":
        return 404, b"<html><body>Not found</body></html>"
    day = today
    if "date_req" in query:
        try:
            day = datetime.datetime.strptime(query["date_req"][0], "%d/%m/%Y").date()
        except ValueError:
            return 200, (DECLARATION + '<ValCurs Date="" name="Foreign Currency Market"></ValCurs>').encode("cp1251")
    table = table_day_for(day_before_holiday(day, today, holiday), today, weeks)
    if table is None:
        return 200, (DECLARATION + '<ValCurs Date="" name="Foreign Currency Market"></ValCurs>').encode("cp1251")
    return 200, document(table)


class Reply:
    """What to send for one request: the status, the headers, the body, how many
    bytes of the body actually go out, and whether to stall instead."""

    def __init__(self, status, body, content_type="application/xml; charset=windows-1251", location=None,
                 sent=None, stall=False):
        self.status, self.body, self.content_type, self.location = status, body, content_type, location
        self.sent = len(body) if sent is None else sent
        self.stall = stall


def plan(target, host, today, weeks, fault, holiday=None):
    """The Reply for a request target (origin or absolute form) under a fault."""
    parsed = urllib.parse.urlsplit(target)
    path = parsed.path
    if path.lower().startswith(MOVED_PREFIX + "/"):
        # The moved document is served as the original, whatever the fault.
        path = path[len(MOVED_PREFIX):]
        return Reply(*answer(urllib.parse.urlunsplit(("", "", path, parsed.query, "")), today, weeks, holiday))
    if fault == "norange" and path.lower() == "/scripts/xml_dynamic.asp":
        return Reply(404, b"<html><body>Not found</body></html>", content_type="text/html")
    if fault in ("none", "norange") or path.lower() != "/scripts/xml_daily.asp":
        return Reply(*answer(target, today, weeks, holiday))
    if fault == "stall":
        return Reply(200, b"", stall=True)
    if fault == "block":
        return Reply(200, BLOCK_PAGE, content_type="text/html; charset=us-ascii")
    if fault == "redirect":
        base = "%s://%s" % (parsed.scheme, parsed.netloc) if parsed.netloc else "http://%s" % host
        moved = base + MOVED_PREFIX + path + ("?" + parsed.query if parsed.query else "")
        return Reply(302, b"<html><body>Moved</body></html>", content_type="text/html", location=moved)
    status, body = answer(target, today, weeks, holiday)
    return Reply(status, body, sent=len(body) * 4 // 10)  # cut


class Handler(http.server.BaseHTTPRequestHandler):
    weeks = 6
    fault = "none"
    publish_hour = None
    holiday = None
    stall_seconds = 300.0
    stopping = threading.Event()
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        parsed = urllib.parse.urlsplit(self.path)
        if parsed.path == "/demo/fault":
            mode = urllib.parse.parse_qs(parsed.query).get("mode", [""])[0]
            if mode in FAULTS:
                Handler.fault = mode
            self.send_simple(200 if mode in FAULTS else 400, ("fault: %s\n" % Handler.fault).encode("ascii"))
            return
        reply = plan(self.path, self.headers.get("Host", "www.cbr.ru"),
                     latest_day(datetime.datetime.now(), self.publish_hour), self.weeks, Handler.fault,
                     Handler.holiday)
        if reply.stall:
            # Nothing is sent; the connection stays open until the client gives up
            # (or the time runs out, or the service stops).
            self.connection.settimeout(0.2)
            waited = 0.0
            while waited < self.stall_seconds and not self.stopping.is_set():
                try:
                    if not self.connection.recv(1024):
                        break
                except OSError:
                    pass
                waited += 0.2
            self.close_connection = True
            return
        self.send_response(reply.status)
        self.send_header("Content-Type", reply.content_type)
        self.send_header("Content-Length", str(len(reply.body)))
        self.send_header("Cache-Control", "no-cache")
        if reply.location:
            self.send_header("Location", reply.location)
        self.end_headers()
        self.wfile.write(reply.body[:reply.sent])
        self.close_connection = True

    def send_simple(self, status, body):
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, fmt, *args):
        sys.stderr.write("sample-rates: " + (fmt % args) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--weeks", type=int, default=6)
    parser.add_argument("--fault", choices=FAULTS, default=os.environ.get("VOK_DEMO_FAULT") or "none")
    parser.add_argument("--publish-hour", type=int, choices=range(24), metavar="H",
                        help="from H o'clock on a working day the latest table is tomorrow's")
    parser.add_argument("--holiday", default=os.environ.get("VOK_DEMO_HOLIDAY"), metavar="FROM..TO")
    args = parser.parse_args()
    if args.fault not in FAULTS:
        parser.error("VOK_DEMO_FAULT must be one of: " + ", ".join(FAULTS))
    try:
        Handler.holiday = parse_holiday(args.holiday, datetime.date.today())
    except ValueError:
        parser.error("--holiday (or VOK_DEMO_HOLIDAY) is FROM..TO, each a date like 2027-01-01 or days from "
                     "today like -3")
    Handler.weeks = args.weeks
    Handler.fault = args.fault
    Handler.publish_hour = args.publish_hour
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    port = server.server_address[1]
    holiday = "%s..%s" % Handler.holiday if Handler.holiday else "none"
    print("sample rates service on 127.0.0.1:%d (fault: %s, holiday: %s)" % (port, args.fault, holiday), flush=True)
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write("%d\n" % port)
        os.replace(args.port_file + ".tmp", args.port_file)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        Handler.stopping.set()


if __name__ == "__main__":
    main()
