// True calendar order of day codes: every ordering, search and distance between
// days goes through these, so a January always comes after the December before it.
#pragma once
#include <cstdint>

#include "data/currency.h"

// Days since 1 January 1989 (year code 0) in the Gregorian calendar; grows by
// one from each day to the next.
int32_t dayNumber(const DayCode& code);
// True for a day that exists: month 1-12, day within its month (Gregorian leap
// years), year 1989-2244, the years a day code holds.
bool isCalendarDay(int day, int month, int year);
// The day before code; the all-zero code for the first day of year code 0 or an
// empty code.
DayCode previousDay(const DayCode& code);
// The day of a day number (the inverse of dayNumber); the all-zero code outside
// the years a day code holds.
DayCode dayFromNumber(int32_t number);
// Days from b to a (negative when a is earlier).
int32_t DayDistance(const DayCode& a, const DayCode& b);
// A total order over any code a file may hold: for real days it is the calendar's
// (a later day, a larger value); a damaged month or day still sorts by its fields.
int32_t dateOrder(const DayCode& code);
