// Filling the history: the days before the oldest stored one until the store is
// full. The bank's range service gives one currency over many days at a time;
// when it fails or is refused, the days are fetched one at a time through the
// update's download path. The fill and the panel's update never run together:
// they share the worker's claim.
#pragma once
#include <cstdint>

#include "data/currency.h"

// Requests of one fill start at least this far apart.
constexpr uint32_t FillSpacingMs = 1000;
// Calendar days one range request asks for: about 290 tables of one currency,
// half the document buffer. A fill fetches two such spans of every currency
// before it stores their days with one write.
constexpr int32_t RangeSpanDays = 400;
constexpr int32_t BatchDays = 2 * RangeSpanDays;

enum FillOutcome : uint8_t { FillIdle = 0, FillRunning, FillComplete, FillStopped, FillFailed };

// Starts a fill worker; false when an update or a fill holds the worker's claim,
// the store is absent or no thread could be made.
bool startFill();
// Asks the running fill to end before its next request.
void stopFill();
bool fillRunning();
FillOutcome fillOutcome();
// Requests the last or the running fill has made, and how many it expects to
// make in all (at least the requests made; it grows as the fill learns more).
int32_t fillRequests();
int32_t fillPlannedRequests();
// The fill's thread body.
uint32_t fillWorker();
