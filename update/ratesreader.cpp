#include "update/ratesreader.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "data/calendar.h"
#include "data/numbertext.h"

int readIntegerField(const char* text)
{
    while (isBlank(*text)) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    int64_t value = 0;
    for (; isDigit(*text); ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT32_MAX) value = int64_t(INT32_MAX) + 1;  // saturate, never overflow
    }
    if (negative) value = -value;
    if (value > INT32_MAX) value = INT32_MAX;
    return static_cast<int>(value);
}

double readRateField(const char* text) { return readDecimal(text, nullptr); }

// Rates above what a float holds would become infinities; keep them finite.
static float toRate(double value)
{
    const double largest = 3.4028234663852886e38;
    if (value > largest) value = largest;
    if (value < -largest) value = -largest;
    return static_cast<float>(value);
}

static char lowered(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

static bool sameCode(const char* a, const char* b)
{
    for (int i = 0;; ++i) {
        char x = lowered(a[i]), y = lowered(b[i]);
        if (x != y) return false;
        if (!x) return true;
    }
}

// A currency code of up to four bytes packed in 32 bits, its letters lower case,
// so that codes the same but for case pack the same; 0 for an empty or longer code.
static uint32_t packedCode(const char* code)
{
    uint32_t key = 0;
    for (int k = 0; k < 4; ++k) {
        if (!code[k]) return key;
        key |= uint32_t(static_cast<unsigned char>(lowered(code[k]))) << (8 * k);
    }
    return code[4] ? 0 : key;
}

// The table's codes in open addressing: slot s holds the row + 1 of a code whose
// chain passes s, 0 while free. At most half the slots are taken, so a free slot
// ends every probe. Filled once, by whichever reader comes first; each slot is
// written once (compare-and-swap), so readers filling it at the same time agree.
constexpr size_t codeSlotsFor(int count)
{
    size_t slots = 8;
    while (slots < size_t(count) * 2) slots *= 2;
    return slots;
}
constexpr size_t CodeSlots = codeSlotsFor(CurrencyCount);
static_assert(CurrencyCount < 255, "a slot holds the row + 1 in a byte");
static std::atomic<uint8_t> codeSlots[CodeSlots];
static std::atomic<bool> codeSlotsFilled;

static size_t homeSlot(uint32_t key) { return (key * 0x9E3779B1u >> 16) & (CodeSlots - 1); }

static void fillCodeSlots()
{
    for (int row = 0; row < CurrencyCount; ++row) {
        uint32_t key = packedCode(isoCode[row]);
        uint8_t mark = uint8_t(row + 1);
        for (size_t s = homeSlot(key);; s = (s + 1) & (CodeSlots - 1)) {
            uint8_t held = 0;
            if (codeSlots[s].compare_exchange_strong(held, mark, std::memory_order_relaxed) || held == mark) break;
        }
    }
    codeSlotsFilled.store(true, std::memory_order_release);
}

// The table row of a currency code, whatever its case; -1 for any other code.
static int tableRow(const char* code)
{
    uint32_t key = packedCode(code);
    if (key == 0) return -1;
    if (!codeSlotsFilled.load(std::memory_order_acquire)) fillCodeSlots();
    for (size_t s = homeSlot(key);; s = (s + 1) & (CodeSlots - 1)) {
        int row = codeSlots[s].load(std::memory_order_relaxed) - 1;
        if (row < 0 || packedCode(isoCode[row]) == key) return row;
    }
}

// Copies the bytes from..to-1 of the attribute text, stopping at its end.
static int dateField(const char* at, int from, int to)
{
    char field[8] = {};
    int n = 0;
    for (int i = 0; i < from; ++i)
        if (!at[i]) return 0;
    for (int i = from; i < to && at[i]; ++i) field[n++] = at[i];
    return readIntegerField(field);
}

// The reader runs on one worker at a time; its buffer is static.
static char rootAttributes[RootAttributeCapacity];
static char learnedIds[CurrencyCount][CurrencyIdCapacity];

const char* currencyId(int currency)
{
    return currency >= 0 && currency < CurrencyCount ? learnedIds[currency] : "";
}


#ifdef VOK_TEST
void forgetCurrencyIds() { std::memset(learnedIds, 0, sizeof learnedIds); }
#endif

// Keeps the ID the document gives a table currency ("R01235"), upper-cased as
// the service writes it, for the range requests.
static void learnId(int currency, const ElementSpan& valute)
{
    char id[CurrencyIdCapacity];
    attributeValue(valute.attributes, valute.tagEnd, "id", id, sizeof id);
    if (!id[0]) return;
    char* learned = learnedIds[currency];  // as long as id: both hold CurrencyIdCapacity
    for (size_t i = 0;; ++i) {
        learned[i] = id[i] >= 'a' && id[i] <= 'z' ? char(id[i] - 'a' + 'A') : id[i];
        if (!id[i]) break;
    }
}

// "dd.mm.yyyy" (or any separators) as a day that exists; the all-zero code if not.
static DayCode readDate(const char* date)
{
    int day = dateField(date, 0, 2);
    int month = dateField(date, 3, 5);
    int year = dateField(date, 6, 10);
    return isCalendarDay(day, month, year) ? makeDayCode(day, month, year) : DayCode{0, 0, 0};
}

// The length bytes at text, no NUL among them, as parseDailyRates reads them.
static bool readDailyRates(char* text, size_t length, DayRates& rates)
{
    std::memset(&rates, 0, sizeof rates);
    lowerCase(text, length);
    // The root must be whole: a body cut before its end tag is no document.
    ElementSpan root;
    if (!locateRoot(text, length, "valcurs", root) || !root.contentEnd) return false;
    copyCut(rootAttributes, sizeof rootAttributes, root.attributes, size_t(root.tagEnd - root.attributes));
    const char* date = std::strstr(rootAttributes, "date=\"");
    if (!date) return false;
    date += 6;
    DayRates read;
    std::memset(&read, 0, sizeof read);
    read.code = readDate(date);
    if (read.code.day == 0) return false;

    int quoted = 0;
    char code[CodeCapacity];
    char nominal[NominalCapacity];
    char value[ValueCapacity];
    ChildWanted children[3] = {
        {"charcode", 8, code, sizeof code}, {"nominal", 7, nominal, sizeof nominal}, {"value", 5, value, sizeof value}};
    ElementWalk walk;
    startWalk(walk, root, "valcurs", "valute", children, 3);
    ElementSpan valute;
    while (nextElement(walk, valute)) {
        int row = tableRow(code);
        if (row < 0) continue;
        read.rates[row].nominal = readIntegerField(nominal);
        read.rates[row].rate = toRate(readRateField(value));
        learnId(row, valute);
    }
    // A currency listed twice keeps its last quote; count what the record holds.
    for (int i = 0; i < CurrencyCount; ++i) quoted += read.rates[i].nominal > 0 && read.rates[i].rate > 0.0f;
    if (quoted == 0) return false;
    rates = read;
    return true;
}

bool parseDailyRates(char* text, DayRates& rates) { return readDailyRates(text, std::strlen(text), rates); }

bool parseDailyRates(char* text, size_t length, DayRates& rates)
{
    if (!std::memchr(text, 0, length)) return readDailyRates(text, length, rates);
    std::memset(&rates, 0, sizeof rates);
    return false;
}

int32_t parseRangeRates(char* text, size_t length, int currency, const char* id, int32_t firstNumber, DayRates* days,
                        int32_t span)
{
    if (currency < 0 || currency >= CurrencyCount || !days || span < 1) return -1;
    if (std::memchr(text, 0, length)) return -1;
    lowerCase(text, length);
    ElementSpan root;
    if (!locateRoot(text, length, "valcurs", root) || !root.contentEnd) return -1;
    // A range document names its range; one for another currency is not ours.
    char field[CurrencyIdCapacity];
    attributeValue(root.attributes, root.tagEnd, "daterange1", field, sizeof field);
    if (!field[0]) return -1;
    attributeValue(root.attributes, root.tagEnd, "id", field, sizeof field);
    if (field[0] && id && !sameCode(field, id)) return -1;

    int32_t read = 0;
    char nominal[NominalCapacity];
    char value[ValueCapacity];
    ChildWanted children[2] = {{"nominal", 7, nominal, sizeof nominal}, {"value", 5, value, sizeof value}};
    ElementWalk walk;
    startWalk(walk, root, "valcurs", "record", children, 2);
    ElementSpan record;
    while (nextElement(walk, record)) {
        char date[16];
        attributeValue(record.attributes, record.tagEnd, "date", date, sizeof date);
        DayCode day = readDate(date);
        if (day.day == 0) continue;
        int32_t k = dayNumber(day) - firstNumber;
        if (k < 0 || k >= span) continue;
        RateEntry entry{readIntegerField(nominal), toRate(readRateField(value))};
        if (entry.nominal <= 0 || !(entry.rate > 0.0f)) continue;
        days[k].code = day;
        days[k].rates[currency] = entry;
        ++read;
    }
    return read;
}
