// Filling the history: the days before the oldest stored one, fetched one at a
// time through the update's download path until the store is full. The fill and
// the panel's update never run together: they share the worker's claim.
#pragma once
#include <cstdint>

#include "data/currency.h"

// Requests of one fill start at least this far apart.
constexpr uint32_t FillSpacingMs = 1000;

enum FillOutcome : uint8_t { FillIdle = 0, FillRunning, FillComplete, FillStopped, FillFailed };

// Starts a fill worker; false when an update or a fill holds the worker's claim,
// the store is absent or no thread could be made.
bool startFill();
// Asks the running fill to end before its next request.
void stopFill();
bool fillRunning();
FillOutcome fillOutcome();
// Requests the last or the running fill has made.
int32_t fillRequests();
// The fill's thread body.
uint32_t fillWorker();

// The filled slots of the store and its oldest day in calendar order (all zero
// when it is empty), read under the history lock.
int32_t storedDaySummary(DayCode& oldest);
