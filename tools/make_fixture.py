#!/usr/bin/env python3
"""Writes the test documents of the daily-rates reader into tests/fixtures/.

daily_full.xml       a full-size daily-rates document laid out as the bank sends
                     it: windows-1251 text, CRLF line ends, one Valute per
                     currency in the bank's order (by ID), comma decimals
daily_full.expected  what that document says, for the tests to compare with:
                     the date, then one line per Valute in document order,
                     "CODE nominal value" with a decimal point
seed_*.xml           small documents for the fuzzer corpus and the seed tests

Deterministic: running it again gives the same bytes. Usage:
    python3 tools/make_fixture.py [output-folder]
"""
import os
import sys

DATE = (21, 11, 2024)

# ID, NumCode, CharCode, Nominal, Name, price of Nominal units in roubles.
# Ordered by ID, which is the order the bank lists them in.
CURRENCIES = [
    ("R01010", "036", "AUD", 1, "Австралийский доллар", "65,1234"),
    ("R01020A", "944", "AZN", 1, "Азербайджанский манат", "58,9371"),
    ("R01035", "826", "GBP", 1, "Фунт стерлингов Соединенного королевства", "126,8042"),
    ("R01060", "051", "AMD", 100, "Армянских драмов", "25,8155"),
    ("R01090B", "933", "BYN", 1, "Белорусский рубль", "29,6453"),
    ("R01100", "975", "BGN", 1, "Болгарский лев", "54,3091"),
    ("R01115", "986", "BRL", 1, "Бразильский реал", "17,3187"),
    ("R01135", "348", "HUF", 100, "Венгерских форинтов", "25,9762"),
    ("R01150", "704", "VND", 10000, "Вьетнамских донгов", "39,4210"),
    ("R01200", "344", "HKD", 1, "Гонконгский доллар", "12,8803"),
    ("R01210", "981", "GEL", 1, "Лари", "36,7262"),
    ("R01215", "208", "DKK", 1, "Датская крона", "14,2346"),
    ("R01230", "784", "AED", 1, "Дирхам ОАЭ", "27,2819"),
    ("R01235", "840", "USD", 1, "Доллар США", "100,1958"),
    ("R01239", "978", "EUR", 1, "Евро", "106,1878"),
    ("R01240", "818", "EGP", 10, "Египетских фунтов", "20,2316"),
    ("R01270", "356", "INR", 10, "Индийских рупий", "11,8651"),
    ("R01280", "360", "IDR", 10000, "Индонезийских рупий", "63,1047"),
    ("R01335", "398", "KZT", 100, "Казахстанских тенге", "20,1416"),
    ("R01350", "124", "CAD", 1, "Канадский доллар", "71,6345"),
    ("R01355", "634", "QAR", 1, "Катарский риал", "27,5263"),
    ("R01370", "417", "KGS", 100, "Киргизских сомов", "115,8834"),
    ("R01375", "156", "CNY", 1, "Китайский юань", "13,8322"),
    ("R01500", "498", "MDL", 10, "Молдавских леев", "55,1098"),
    ("R01530", "554", "NZD", 1, "Новозеландский доллар", "58,7653"),
    ("R01535", "578", "NOK", 10, "Норвежских крон", "90,6512"),
    ("R01565", "985", "PLN", 1, "Польский злотый", "24,4537"),
    ("R01585F", "946", "RON", 1, "Румынский лей", "21,3395"),
    ("R01589", "960", "XDR", 1, "СДР (специальные права заимствования)", "131,6245"),
    ("R01625", "702", "SGD", 1, "Сингапурский доллар", "74,6148"),
    ("R01670", "972", "TJS", 10, "Таджикских сомони", "93,9512"),
    ("R01675", "764", "THB", 10, "Таиландских батов", "28,9063"),
    ("R01700J", "949", "TRY", 10, "Турецких лир", "29,0627"),
    ("R01710A", "934", "TMT", 1, "Новый туркменский манат", "28,6274"),
    ("R01717", "860", "UZS", 10000, "Узбекских сумов", "78,0956"),
    ("R01720", "980", "UAH", 10, "Украинских гривен", "24,2195"),
    ("R01760", "203", "CZK", 10, "Чешских крон", "42,1035"),
    ("R01770", "752", "SEK", 10, "Шведских крон", "91,4782"),
    ("R01775", "756", "CHF", 1, "Швейцарский франк", "113,3079"),
    ("R01805F", "941", "RSD", 100, "Сербских динаров", "90,7224"),
    ("R01810", "710", "ZAR", 10, "Южноафриканских рэндов", "55,1742"),
    ("R01815", "410", "KRW", 1000, "Вон Республики Корея", "71,8015"),
    ("R01820", "392", "JPY", 100, "Японских иен", "64,8561"),
]

DECLARATION = '<?xml version="1.0" encoding="windows-1251"?>'


def unit_rate(value, nominal):
    """The bank's VunitRate: the price of one unit, comma decimal."""
    text = "%.10f" % (float(value.replace(",", ".")) / nominal)
    whole, fraction = text.split(".")
    digits = 4 if nominal == 1 else 8
    fraction = fraction[:digits].rstrip("0") or "0"
    return whole + "," + fraction


def full_document():
    eol = "\r\n"
    day, month, year = DATE
    lines = [DECLARATION,
             '<ValCurs Date="%02d.%02d.%04d" name="Foreign Currency Market">' % (day, month, year)]
    for ident, num, code, nominal, name, value in CURRENCIES:
        lines += ['<Valute ID="%s">' % ident,
                  "<NumCode>%s</NumCode>" % num,
                  "<CharCode>%s</CharCode>" % code,
                  "<Nominal>%d</Nominal>" % nominal,
                  "<Name>%s</Name>" % name,
                  "<Value>%s</Value>" % value,
                  "<VunitRate>%s</VunitRate>" % unit_rate(value, nominal),
                  "</Valute>"]
    lines.append("</ValCurs>")
    return (eol.join(lines) + eol).encode("cp1251")


def expected_table():
    day, month, year = DATE
    out = ["# What daily_full.xml says: its date, then every Valute in document order",
           "# as code, nominal and value with a decimal point.",
           "date %d %d %d" % (day, month, year)]
    for _, _, code, nominal, _, value in CURRENCIES:
        out.append("%s %d %s" % (code, nominal, value.replace(",", ".")))
    return ("\n".join(out) + "\n").encode("ascii")


def valute(ident, code, nominal, name, value):
    return ('<Valute ID="%s"><CharCode>%s</CharCode><Nominal>%s</Nominal><Name>%s</Name>'
            "<Value>%s</Value></Valute>" % (ident, code, nominal, name, value))


SEEDS = {
    # The smallest document that carries a rate.
    "seed_minimal.xml":
        DECLARATION + '<ValCurs Date="02.03.2005" name="Foreign Currency Market">'
        + valute("R01235", "USD", 1, "Доллар США", "27,9500") + "</ValCurs>",
    # A root without attributes has no date: the document is refused.
    "seed_plain_root.xml":
        DECLARATION + "<ValCurs>" + valute("R01239", "EUR", 1, "Евро", "34,1500") + "</ValCurs>",
    # Names in any letter case; one valute with attributes, one without, a
    # child right after the '>' of its parent.
    "seed_mixed_case.xml":
        DECLARATION + '<vALcURS dATE="31.12.2244" NAME="Foreign Currency Market">'
        '<VALUTE iD="R01820"><cHARcODE>jpy</cHARcODE><NOMINAL>100</NOMINAL><Value>64,8561</Value></VALUTE>\n'
        '<valute Id="R01239"><CharCode>Eur</CharCode><nominal>1</nominal><VALUE>106,1878</VALUE></valute>\n'
        "</VALCURS>",
    # GBP, the first, is whole; USD lacks the end tag of its value, EUR that of
    # its code, JPY (the last) that of the valute itself.
    "seed_missing_end_tags.xml":
        DECLARATION + '<ValCurs Date="05.01.2006" name="Foreign Currency Market">\n'
        '<Valute ID="R01035"><CharCode>GBP</CharCode><Nominal>1</Nominal><Value>49,5000</Value></Valute>\n'
        '<Valute ID="R01235"><CharCode>USD</CharCode><Nominal>1</Nominal><Value>28,7800</Valute>\n'
        '<Valute ID="R01239"><CharCode>EUR<Nominal>1</Nominal><Value>34,1500</Value></Valute>\n'
        '<Valute ID="R01820"><CharCode>JPY</CharCode><Nominal>100</Nominal><Value>24,6300</Value>\n'
        "</ValCurs>\n",
    # The root never ends: a cut body, refused.
    "seed_missing_root_end.xml":
        DECLARATION + '<ValCurs Date="28.12.2005" name="Foreign Currency Market">'
        + valute("R01235", "USD", 1, "Доллар США", "28,7800"),
}


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "fixtures")
    os.makedirs(folder, exist_ok=True)
    document = full_document()
    # The point of the fixture: bigger than the 4 KB a small buffer would hold,
    # with table currencies behind that mark, as big as the bank's own.
    assert 7 * 1024 <= len(document) <= 9 * 1024, len(document)
    assert document.index(b"<CharCode>XDR</CharCode>") > 4096
    write(folder, "daily_full.xml", document)
    write(folder, "daily_full.expected", expected_table())
    for name, text in SEEDS.items():
        write(folder, name, text.encode("cp1251"))


if __name__ == "__main__":
    main()
