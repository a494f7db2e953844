#include "data/companion.h"

#include <cfloat>
#include <cstdlib>
#include <cstring>

#include "data/calendar.h"
#include "platform/text16.h"

static const unsigned char marker[4] = {'v', 'o', 'k', 'X'};

static void putWord(unsigned char* at, size_t value)
{
    at[0] = static_cast<unsigned char>(value & 0xFF);
    at[1] = static_cast<unsigned char>(value >> 8 & 0xFF);
}

static size_t wordAt(const unsigned char* at) { return size_t(at[0]) | size_t(at[1]) << 8; }

void freeCompanionTail(CompanionTail& tail)
{
    std::free(tail.records);
    tail = CompanionTail{0, 0, nullptr};
}

static size_t tailCurrencies(const CompanionTail* tail) { return tail ? size_t(tail->currencies) : 0; }
static size_t tailRecordBytes(size_t currencies) { return 4 + currencies * sizeof(RateEntry); }

size_t companionImageSize(const DayRates* records, int32_t n, const CompanionTail* tail)
{
    size_t days = 0;
    for (int32_t i = 0; i < n; ++i) days += records[i].code.day != 0;
    return CompanionHeaderBytes + days * (CompanionRecordBytes + tailCurrencies(tail) * sizeof(RateEntry));
}

void writeCompanionImage(const DayRates* records, int32_t n, unsigned char* out, const CompanionTail* tail)
{
    size_t beyond = tailCurrencies(tail), beyondBytes = beyond * sizeof(RateEntry);
    std::memcpy(out, marker, 4);
    putWord(out + 4, ExtraCurrencies + beyond);
    putWord(out + 6, CompanionRecordBytes + beyondBytes);
    unsigned char* at = out + CompanionHeaderBytes;
    for (int32_t i = 0; i < n; ++i) {
        if (records[i].code.day == 0) continue;
        std::memcpy(at, &records[i].code, 4);
        std::memcpy(at + 4, &records[i].rates[RecordCurrencies], ExtraCurrencies * sizeof(RateEntry));
        at += CompanionRecordBytes;
        if (!beyond) continue;
        int32_t kept = findDaySlot(tail->records, tailRecordBytes(beyond), tail->days, records[i].code);
        if (kept >= 0)
            std::memcpy(at, tail->records + size_t(kept) * tailRecordBytes(beyond) + 4, beyondBytes);
        else
            std::memset(at, 0, beyondBytes);
        at += beyondBytes;
    }
}

static int32_t orderAt(const unsigned char* base, size_t stride, int32_t i)
{
    DayCode code;
    std::memcpy(&code, base + size_t(i) * stride, sizeof code);
    return code.day != 0 ? dateOrder(code) : -1;
}

static bool dayAt(const unsigned char* base, size_t stride, int32_t i, const DayCode& day)
{
    DayCode code;
    std::memcpy(&code, base + size_t(i) * stride, sizeof code);
    return sameDay(code, day);
}

int32_t findDaySlot(const void* records, size_t stride, int32_t n, const DayCode& day)
{
    const auto* base = static_cast<const unsigned char*>(records);
    int32_t wanted = dateOrder(day), low = 0, high = n - 1;
    while (low <= high) {
        int32_t middle = low + (high - low) / 2;
        int32_t order = orderAt(base, stride, middle);
        if (order > wanted) {
            low = middle + 1;
        } else if (order < wanted) {
            high = middle - 1;
        } else {
            // Every code of this order lies next to middle: a damaged one (33.01
            // beside 01.02) may stand where the search landed.
            for (int32_t i = middle; i >= 0 && orderAt(base, stride, i) == wanted; --i)
                if (dayAt(base, stride, i, day)) return i;
            for (int32_t i = middle + 1; i < n && orderAt(base, stride, i) == wanted; ++i)
                if (dayAt(base, stride, i, day)) return i;
            return -1;
        }
    }
    return -1;
}

// A rate kept as the file gives it only when it is a price; otherwise absent.
static RateEntry priceOrAbsent(RateEntry entry)
{
    // Without branches: a NaN fails both comparisons, an infinity the second.
    bool price = (entry.nominal > 0) & (entry.rate > 0.0f) & (entry.rate <= FLT_MAX);
    return price ? entry : RateEntry{0, 0.0f};
}

static int compareTailDays(const void* a, const void* b)
{
    DayCode x, y;
    std::memcpy(&x, a, sizeof x);
    std::memcpy(&y, b, sizeof y);
    int32_t p = dateOrder(x), q = dateOrder(y);
    return p > q ? -1 : p < q ? 1 : 0;
}

// Room for the rates past this build's list of every record of the image; none
// when the image has no such rates or there is no memory for them.
static void startTail(CompanionTail* tail, size_t beyond, size_t records)
{
    if (!tail) return;
    freeCompanionTail(*tail);
    if (beyond == 0 || records == 0) return;
    tail->records = static_cast<unsigned char*>(std::malloc(records * tailRecordBytes(beyond)));
    if (tail->records) tail->currencies = int32_t(beyond);
}

int32_t mergeCompanionImage(const unsigned char* image, size_t size, DayRates* records, int32_t n,
                            CompanionTail* tail)
{
    if (!image || size < CompanionHeaderBytes || std::memcmp(image, marker, 4) != 0) return -1;
    size_t currencies = wordAt(image + 4), recordBytes = wordAt(image + 6);
    if (currencies < 1 || currencies > CompanionMostCurrencies || recordBytes != 4 + currencies * sizeof(RateEntry))
        return -1;
    size_t kept = currencies < size_t(ExtraCurrencies) ? currencies : size_t(ExtraCurrencies);
    size_t beyond = currencies - kept;
    startTail(tail, beyond, (size - CompanionHeaderBytes) / recordBytes);
    int32_t merged = 0, k = 0;
    for (size_t at = CompanionHeaderBytes; at + recordBytes <= size; at += recordBytes, ++k) {
        DayCode day;
        std::memcpy(&day, image + at, sizeof day);
        if (!isCalendarDay(day.day, day.month, yearOf(day))) continue;
        // Both files are written newest first from one store: the k-th day of the
        // one is mostly the k-th of the other.
        int32_t slot = k < n && sameDay(records[k].code, day) ? k : findDaySlot(records, sizeof(DayRates), n, day);
        if (slot < 0) continue;
        for (size_t c = 0; c < kept; ++c) {
            RateEntry entry;
            std::memcpy(&entry, image + at + 4 + c * sizeof(RateEntry), sizeof entry);
            RateEntry& held = records[slot].rates[RecordCurrencies + c];
            if (held.nominal <= 0) held = priceOrAbsent(entry);
        }
        if (tail && tail->currencies) {
            unsigned char* out = tail->records + size_t(tail->days++) * tailRecordBytes(beyond);
            std::memcpy(out, image + at, 4);
            std::memcpy(out + 4, image + at + 4 + kept * sizeof(RateEntry), beyond * sizeof(RateEntry));
        }
        ++merged;
    }
    if (tail && tail->days > 1) std::qsort(tail->records, size_t(tail->days), tailRecordBytes(beyond), compareTailDays);
    return merged;
}

bool companionPath(char16_t* out, size_t capacity, const char16_t* historyPath)
{
    size_t length = length16(historyPath, capacity);
    if (length >= capacity) return false;
    bool his = length >= 4 && historyPath[length - 4] == u'.' && historyPath[length - 3] == u'h' &&
               historyPath[length - 2] == u'i' && historyPath[length - 1] == u's';
    size_t stem = his ? length - 4 : length;
    if (stem + 5 > capacity) return false;
    for (size_t i = 0; i < stem; ++i) out[i] = historyPath[i];
    copy16(out + stem, capacity - stem, u".hix");
    return true;
}
