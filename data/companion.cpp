#include "data/companion.h"

#include <cmath>
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

size_t companionImageSize(const DayRates* records, int32_t n)
{
    size_t days = 0;
    for (int32_t i = 0; i < n; ++i) days += records[i].code.day != 0;
    return CompanionHeaderBytes + days * CompanionRecordBytes;
}

void writeCompanionImage(const DayRates* records, int32_t n, unsigned char* out)
{
    std::memcpy(out, marker, 4);
    putWord(out + 4, ExtraCurrencies);
    putWord(out + 6, CompanionRecordBytes);
    unsigned char* at = out + CompanionHeaderBytes;
    for (int32_t i = 0; i < n; ++i) {
        if (records[i].code.day == 0) continue;
        std::memcpy(at, &records[i].code, 4);
        std::memcpy(at + 4, &records[i].rates[RecordCurrencies], ExtraCurrencies * sizeof(RateEntry));
        at += CompanionRecordBytes;
    }
}

// The slot of records holding day, by its date order (records are newest first);
// -1 when none does.
static int32_t slotOf(const DayCode& day, const DayRates* records, int32_t n)
{
    int32_t wanted = dateOrder(day), low = 0, high = n - 1;
    while (low <= high) {
        int32_t middle = low + (high - low) / 2;
        const DayCode& code = records[middle].code;
        int32_t order = code.day != 0 ? dateOrder(code) : -1;
        if (order == wanted && sameDay(code, day)) return middle;
        if (order > wanted)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

// A rate kept as the file gives it only when it is a price; otherwise absent.
static RateEntry priceOrAbsent(RateEntry entry)
{
    bool price = entry.nominal > 0 && std::isfinite(entry.rate) && entry.rate > 0.0f;
    return price ? entry : RateEntry{0, 0.0f};
}

int32_t mergeCompanionImage(const unsigned char* image, size_t size, DayRates* records, int32_t n)
{
    if (!image || size < CompanionHeaderBytes || std::memcmp(image, marker, 4) != 0) return -1;
    size_t currencies = wordAt(image + 4), recordBytes = wordAt(image + 6);
    if (currencies < 1 || currencies > CompanionMostCurrencies || recordBytes != 4 + currencies * sizeof(RateEntry))
        return -1;
    size_t kept = currencies < size_t(ExtraCurrencies) ? currencies : size_t(ExtraCurrencies);
    int32_t merged = 0;
    for (size_t at = CompanionHeaderBytes; at + recordBytes <= size; at += recordBytes) {
        DayCode day;
        std::memcpy(&day, image + at, sizeof day);
        if (!isCalendarDay(day.day, day.month, yearOf(day))) continue;
        int32_t slot = slotOf(day, records, n);
        if (slot < 0) continue;
        for (size_t c = 0; c < kept; ++c) {
            RateEntry entry;
            std::memcpy(&entry, image + at + 4 + c * sizeof(RateEntry), sizeof entry);
            records[slot].rates[RecordCurrencies + c] = priceOrAbsent(entry);
        }
        ++merged;
    }
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
