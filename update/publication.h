// The rule "after the bank publishes", on Moscow's clock (UTC+3, no summer time).
// On each of its working days the bank sets the rates from trading until 15:30
// Moscow time and offers the new table, dated the next calendar day, soon after;
// on days off it publishes nothing, so no table is dated a Sunday or a Monday.
//
// The rule asks once when a Moscow day begins that the held tables do not cover,
// and on Monday to Friday from 15:30 until the next day's table has come: first at
// the minute the last tables arrived by (learned by halving the gap between the
// last minute without the table and the first with it), then at growing waits.
// A day whose table does not come within those asks published nothing (a
// holiday): the held table covers the next day, as it does a Sunday and a Monday.
#pragma once
#include <cstdint>

#include "data/currency.h"

// Moscow's first minute of publication, as a minute of the day.
constexpr int PublicationFrom = 15 * 60 + 30;

// What one update run asks for: the latest table and what else the panel needs
// (a tap, the interval and daily rules); the latest table only; or one day's
// table only, whose answer is the table in force that day.
enum RunKind : uint8_t { RunFull = 0, RunLatest, RunDated };
// One tick of the rule (the panel's, every 2 s; only a new minute does any work).
// Starts the run it wants through start (false when none started); workerRunning
// says whether a run is still under way. True when the days the held tables
// cover grew: the panel's freshness is to be judged again.
bool servePublicationRule(bool (*start)(RunKind kind, const DayCode& day), bool workerRunning);
// The bank answered the request for day (the worker's dated run): whatever it
// gave is the table in force on day.
void notePublicationAnswer(const DayCode& day);
// Whether the held tables are known to cover day: the bank answered the request
// for it, or it published nothing for it by the end of its asks.
bool publicationCovers(const DayCode& day);
// Back to the state at module load.
void resetPublicationRule();
