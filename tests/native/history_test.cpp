#include "testutil.h"

#include "platform/fileio.h"
#include "platform/testhooks.h"

namespace {

struct HistoryFile : ::testing::Test {
    ScratchFolder folder;
    std::string file = folder.file("vokCurrency.his");
    std::u16string path = folder.path16("vokCurrency.his");
    void TearDown() override
    {
        freeHistory();
        fileWriteFailAfter = -1;
    }
    void writeRecords(int count)
    {
        std::vector<DayRates> records;
        for (int i = 0; i < count; ++i) records.push_back(dayRecord(count - i, 3, 2020, float(i)));
        writeHistoryFile(file, records);
    }
    DayRates slot(int i) const { return history.records[i]; }
};

}  // namespace

// Days as "dd.mm.yyyy"; the store's slots as such a list, newest first.
DayRates dayOf(const std::string& date, float eur = 1.0f)
{
    return dayRecord(std::stoi(date.substr(0, 2)), std::stoi(date.substr(3, 2)), std::stoi(date.substr(6)), eur);
}

std::vector<std::string> storedDates()
{
    std::vector<std::string> dates;
    for (int i = 0; i < history.capacity && history.records[i].code.day; ++i) {
        const DayCode& c = history.records[i].code;
        char text[16];
        std::snprintf(text, sizeof text, "%02d.%02d.%04d", c.day, c.month, yearOf(c));
        dates.push_back(text);
    }
    return dates;
}

// The store keeps date order, newest first, whatever order days arrive in: a
// full store gives up its oldest day, and takes no day older than all it holds.
// A file written out of order is put in order when read.
TEST_F(HistoryFile, KeepsDateOrderNewestFirstWhateverTheOrderOfArrival)
{
    struct Case {
        const char* what;
        int capacity;
        std::vector<std::string> file, stored, want;
    } cases[] = {
        {"each day newer than the last", 3, {}, {"01.01.2020", "02.01.2020", "03.01.2020", "04.01.2020"},
         {"04.01.2020", "03.01.2020", "02.01.2020"}},
        {"a late day goes where its date belongs", 4, {}, {"02.01.2020", "05.01.2020", "03.01.2020"},
         {"05.01.2020", "03.01.2020", "02.01.2020"}},
        {"a full store takes no day older than all", 3, {}, {"03.01.2020", "04.01.2020", "05.01.2020", "01.01.2020"},
         {"05.01.2020", "04.01.2020", "03.01.2020"}},
        {"a full store gives up its oldest", 3, {}, {"02.01.2020", "04.01.2020", "06.01.2020", "05.01.2020"},
         {"06.01.2020", "05.01.2020", "04.01.2020"}},
        {"calendar order across the new year", 3, {}, {"02.01.2026", "31.12.2025", "05.01.2026"},
         {"05.01.2026", "02.01.2026", "31.12.2025"}},
        {"first update, fill, then two updates", 6, {},
         {"08.12.2026", "07.12.2026", "06.12.2026", "05.12.2026", "04.12.2026", "03.12.2026", "09.12.2026",
          "10.12.2026"},
         {"10.12.2026", "09.12.2026", "08.12.2026", "07.12.2026", "06.12.2026", "05.12.2026"}},
        {"a file out of order is put in order", 6, {"09.12.2026", "03.12.2026", "08.12.2026", "", "07.12.2026"},
         {"10.12.2026"}, {"10.12.2026", "09.12.2026", "08.12.2026", "07.12.2026", "03.12.2026"}},
    };
    for (const Case& c : cases) {
        std::vector<DayRates> records;
        for (const std::string& d : c.file) records.push_back(d.empty() ? DayRates{} : dayOf(d));
        writeHistoryFile(file, records);
        loadHistory(path.c_str(), c.capacity);
        for (const std::string& d : c.stored) storeDay(dayOf(d));
        EXPECT_EQ(storedDates(), c.want) << c.what;
        for (int i = int(c.want.size()); i < c.capacity; ++i) EXPECT_TRUE(isEmpty(slot(i))) << c.what;
        std::vector<unsigned char> bytes = readBytes(file);
        ASSERT_EQ(bytes.size(), c.capacity * sizeof(HistoryRecord)) << c.what;
        std::vector<HistoryRecord> held = fileImage({history.records, history.records + c.capacity});
        EXPECT_EQ(std::memcmp(bytes.data(), held.data(), bytes.size()), 0) << c.what;
        freeHistory();
    }
    // A batch in any order, and a present day replaced in place.
    std::remove(file.c_str());
    loadHistory(path.c_str(), 4);
    DayRates batch[] = {dayOf("01.01.2020"), dayOf("03.01.2020"), dayOf("02.01.2020")};
    storeDays(batch, 3);
    storeDay(dayOf("02.01.2020", 77.5f));
    EXPECT_EQ(storedDates(), (std::vector<std::string>{"03.01.2020", "02.01.2020", "01.01.2020"}));
    EXPECT_EQ(slot(1).rates[0].rate, 77.5f);
}

TEST_F(HistoryFile, AShortFileIsPaddedAndALongOneCutToTheLength)
{
    writeRecords(10);
    loadHistory(path.c_str(), 15);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(slot(i).code.day, 10 - i);
    for (int i = 10; i < 15; ++i) EXPECT_TRUE(isEmpty(slot(i)));
    storeDay(dayRecord(20, 3, 2020));
    EXPECT_EQ(readBytes(file).size(), 15 * sizeof(HistoryRecord));
    freeHistory();

    writeRecords(20);
    loadHistory(path.c_str(), 15);
    EXPECT_EQ(slot(14).code.day, 6);
    storeDay(dayRecord(1, 1, 2021));
    std::vector<unsigned char> bytes = readBytes(file);
    ASSERT_EQ(bytes.size(), 15 * sizeof(HistoryRecord));
    HistoryRecord last;
    std::memcpy(&last, &bytes[14 * sizeof(HistoryRecord)], sizeof last);
    EXPECT_EQ(last.code.day, 7);  // records 16 to 20 are gone, and the oldest gave way
}

TEST_F(HistoryFile, ACutLastRecordIsNotTakenForADay)
{
    writeRecords(3);
    std::vector<unsigned char> bytes = readBytes(file);
    bytes.resize(2 * sizeof(HistoryRecord) + 50);
    writeBytes(file, bytes.data(), bytes.size());
    loadHistory(path.c_str(), 5);
    EXPECT_EQ(slot(1).code.day, 2);
    EXPECT_TRUE(isEmpty(slot(2)));
}

// The searches go by the calendar: around New Year the latest day is the
// January one, the previous day the last of December.
TEST_F(HistoryFile, SearchesAcrossTheYearBoundary)
{
    loadHistory(path.c_str(), 15);
    for (const char* d : {"27.12.2025", "31.12.2025", "01.01.2026"}) storeDay(dayOf(d));
    const struct {
        const char* target;
        const char *onOrBefore, *before, *after;
    } cases[] = {
        {"12.01.2026", "01.01.2026", "01.01.2026", ""},
        {"01.01.2026", "01.01.2026", "31.12.2025", ""},
        {"31.12.2025", "31.12.2025", "27.12.2025", "01.01.2026"},
        {"27.12.2025", "27.12.2025", "", "31.12.2025"},
    };
    auto text = [](const DayCode& c) {
        char out[16] = "";
        if (c.day) std::snprintf(out, sizeof out, "%02d.%02d.%04d", c.day, c.month, yearOf(c));
        return std::string(out);
    };
    for (const auto& c : cases) {
        DayCode target = dayOf(c.target).code;
        EXPECT_EQ(text(findLatestOnOrBefore(target)), c.onOrBefore) << c.target;
        EXPECT_EQ(text(findLatestBefore(target)), c.before) << c.target;
        EXPECT_EQ(text(findEarliestAfter(target)), c.after) << c.target;
    }
    EXPECT_TRUE(isEmpty(findDay(makeDayCode(30, 12, 2025))));
}

// A file longer than the store, its fill days in front (an older build), keeps
// its newest days at the shorter length, and the next save writes them so.
TEST_F(HistoryFile, AnOldFileReadAtAShorterLengthKeepsItsNewestDays)
{
    const struct {
        std::vector<const char*> file;
        int length;
        std::vector<std::string> kept;
    } cases[] = {
        {{"01.11.2026", "02.11.2026", "03.11.2026", "10.12.2026", "09.12.2026", "08.12.2026"}, 3,
         {"10.12.2026", "09.12.2026", "08.12.2026"}},
        {{"31.12.2025", "30.12.2025", "02.01.2026", "01.01.2026"}, 2, {"02.01.2026", "01.01.2026"}},
    };
    for (const auto& c : cases) {
        std::vector<DayRates> records;
        for (const char* d : c.file) records.push_back(dayOf(d));
        writeHistoryFile(file, records);
        loadHistory(path.c_str(), c.length);
        EXPECT_EQ(storedDates(), c.kept);
        storeDay(dayOf(c.kept.back()));  // a save
        loadHistory(path.c_str(), c.length);
        EXPECT_EQ(storedDates(), c.kept);
        EXPECT_EQ(readBytes(file).size(), size_t(c.length) * sizeof(HistoryRecord));
    }
}

TEST_F(HistoryFile, EmptyAndAbsentStoresAnswerNothing)
{
    loadHistory(path.c_str(), 15);
    DayCode today = makeDayCode(7, 12, 2026);
    EXPECT_EQ(findLatestOnOrBefore(today).day, 0);
    EXPECT_EQ(findLatestBefore(today).day, 0);
    EXPECT_EQ(findEarliestAfter(today).day, 0);
    freeHistory();

    for (int capacity : {0, -5}) {
        loadHistory(path.c_str(), capacity);
        EXPECT_EQ(history.records, nullptr);
        storeDay(dayRecord(1, 1, 2020));
        EXPECT_TRUE(isEmpty(findDay(makeDayCode(1, 1, 2020))));
        EXPECT_EQ(findLatestOnOrBefore(today).day, 0);
        DayRates out[2];
        EXPECT_EQ(copyHistory(out, 2), 0);
        freeHistory();
        EXPECT_FALSE(fileExists(file));
    }
}

TEST_F(HistoryFile, AFailedSaveKeepsTheFileThatWasThere)
{
    loadHistory(path.c_str(), 4);
    storeDay(dayRecord(1, 1, 2020));
    std::vector<unsigned char> before = readBytes(file);
    fileWriteFailAfter = 200;
    storeDay(dayRecord(2, 1, 2020));
    EXPECT_EQ(readBytes(file), before);
    EXPECT_EQ(slot(0).code.day, 2);  // still in memory
    fileWriteFailAfter = -1;
    storeDay(dayRecord(3, 1, 2020));  // the next store writes both
    freeHistory();
    loadHistory(path.c_str(), 4);
    EXPECT_EQ(slot(0).code.day, 3);
    EXPECT_EQ(slot(1).code.day, 2);
}

TEST_F(HistoryFile, LeavingTheStoreInPlaceKeepsItUsable)
{
    loadHistory(path.c_str(), 4);
    storeDay(dayRecord(1, 1, 2020));
    freeHistory(true);
    ASSERT_NE(history.records, nullptr);
    EXPECT_EQ(findDay(makeDayCode(1, 1, 2020)).code.day, 1);
}
