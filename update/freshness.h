// The panel's day and the freshness of its rates, shared with the worker.
#pragma once
#include "data/currency.h"
#include "update/clock.h"

// Shared with the worker: read them through these, which take the history lock.
DayCode todayNow();
void readShownRates(DayCode& shown, DayRates& rates);
// What the panel draws: the shown day's rates and the nearest stored days before
// and after it (all zero when there is none), read together under the lock.
void readPanelDays(DayRates& previous, DayRates& current, DayRates& next);
void setToday(const DayCode& day);
// For the panel's thread, the only one that sets today: whether day is today,
// read without the lock (the others only read it).
bool isTodayOnPanel(const DayCode& day);

// The shown day becomes the latest stored on or before today. Its rates are current
// (Fresh) when that day is today, when the bank, asked for today's date, answered
// with it or an older table once that day has begun in Moscow (nothing newer
// exists: a holiday; until the day changes), or when the weekend rule holds;
// otherwise Stale.
void evaluateFreshness();

// The bank's answer to the request for day: whatever table it gave is current on
// day, once day has begun where the bank is (Moscow).
void confirmCurrentOn(const DayCode& day);
// Back to the state at module load.
void resetFreshness();
