#include "data/calendar.h"

static bool leapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

static int daysInMonth(int month, int year)
{
    static const uint8_t days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 31;
    return month == 2 && leapYear(year) ? 29 : days[month - 1];
}

bool isCalendarDay(int day, int month, int year)
{
    if (year < 1989 || year > 2244 || month < 1 || month > 12 || day < 1) return false;
    return day <= daysInMonth(month, year);
}

// Leap years from year 1 to year, by the Gregorian rule.
static int32_t leapYearsTo(int32_t year) { return year / 4 - year / 100 + year / 400; }

int32_t dayNumber(const DayCode& code)
{
    int year = yearOf(code);
    int32_t n = 365 * (year - 1989) + leapYearsTo(year - 1) - leapYearsTo(1988);
    for (int m = 1; m < code.month && m <= 12; ++m) n += daysInMonth(m, year);
    return n + code.day - 1;
}

DayCode previousDay(const DayCode& code)
{
    if (code.day == 0) return DayCode{0, 0, 0};
    if (code.day > 1) return DayCode{uint8_t(code.day - 1), code.month, code.yearCode};
    if (code.month > 1) {
        uint8_t month = uint8_t(code.month - 1);
        return DayCode{uint8_t(daysInMonth(month, yearOf(code))), month, code.yearCode};
    }
    if (code.yearCode == 0) return DayCode{0, 0, 0};
    return DayCode{31, 12, uint8_t(code.yearCode - 1)};
}

DayCode dayFromNumber(int32_t number)
{
    if (number < 0) return DayCode{0, 0, 0};
    int year = 1989;
    for (; year <= 2244; ++year) {
        int32_t days = leapYear(year) ? 366 : 365;
        if (number < days) break;
        number -= days;
    }
    if (year > 2244) return DayCode{0, 0, 0};
    int month = 1;
    for (; number >= daysInMonth(month, year); ++month) number -= daysInMonth(month, year);
    return makeDayCode(int(number) + 1, month, year);
}

int32_t DayDistance(const DayCode& a, const DayCode& b) { return dayNumber(a) - dayNumber(b); }

int32_t dateOrder(const DayCode& code) { return yearOf(code) * 416 + code.month * 32 + code.day; }
