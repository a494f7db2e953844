#!/usr/bin/env python3
"""Seeds the offline demo's data folder with a history file holding the sample
service's table before its latest one, so that the demo's first update stores a
second day and the panel shows its trend arrows from the start.

Usage: python3 tools/demo_history.py HISTORY-FILE [--weeks N]
Leaves an existing history file alone.

The file is the plug-in's own: 15 records of 140 bytes, each the day (day, month,
year + 59 mod 256, a zero byte) and 17 pairs of a little-endian int32 nominal and
float32 rate, in the plug-in's currency order; unused records are zero.
"""
import argparse
import datetime
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_fixture import CURRENCIES  # noqa: E402
from sample_rates_service import price, table_day_for  # noqa: E402

# The plug-in's currency rows; the bank publishes the Belarusian rouble as BYN.
SLOTS = ["EUR", "USD", "GBP", "JPY", "UAH", ("BYR", "BYN"), "AUD", "DKK", "ISK",
         "KZT", "CAD", "NOK", "XDR", "SGD", "TRY", "SEK", "CHF"]
RECORDS = 15


def record(day):
    published = {code: (nominal, base) for _, _, code, nominal, _, base in CURRENCIES}
    body = struct.pack("<BBBB", day.day, day.month, (day.year + 59) % 256, 0)
    for slot in SLOTS:
        codes = slot if isinstance(slot, tuple) else (slot,)
        found = next((published[c] for c in codes if c in published), None)
        if found is None:
            body += struct.pack("<if", 0, 0.0)
        else:
            nominal, base = found
            body += struct.pack("<if", nominal, float(price(base, nominal, day).replace(",", ".")))
    return body


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("history")
    parser.add_argument("--weeks", type=int, default=6)
    args = parser.parse_args()
    if os.path.exists(args.history):
        return 0
    today = datetime.date.today()
    latest = table_day_for(today, today, args.weeks)
    earlier = table_day_for(latest - datetime.timedelta(days=1), today, args.weeks)
    data = record(earlier) + bytes(140 * (RECORDS - 1))
    with open(args.history + ".tmp", "wb") as f:
        f.write(data)
    os.replace(args.history + ".tmp", args.history)
    print("demo: history seeded with the table of %s" % earlier)
    return 0


if __name__ == "__main__":
    sys.exit(main())
