// The plug-in's clock and update controller: which day the panel shows, whether
// its rates are current, and when to start an update worker.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "data/currency.h"
#include "update/clock.h"
#include "update/freshness.h"
#include "update/publication.h"

extern int32_t tickCounter;  // kept by the panel: 0..8192
extern uint8_t dailyLatch;

void refreshTick();
// Starts a worker when the state is Fresh or Stale and no worker holds the claim
// (the rules' start; one asked for during a fill starts when the fill ends).
bool startUpdate();
// The icon's tap: every tap makes its update. One that meets a worker holding the
// claim (an update still ending, a fill) starts as that worker lets go; taps
// meanwhile make that one update. False when no worker thread could be made.
bool tapUpdate();
// A rule's start of a run of kind, for day (RunDated), within the rules' once-a-
// minute gap; false when none started.
bool startRuleRun(RunKind kind, const DayCode& day);
uint32_t updateWorker();
// True from a start until the worker's last evaluation.
bool updateWorkerRunning();
// The icon's frame: the update state, but the failed one while a file lags
// behind memory (its save failed, and the retries have not succeeded yet).
uint8_t iconState();
// After refreshTick: 0, 1, ..., 8192, 0, ...
void advanceTickCounter();
// The worker's claim, held by one update or one fill at a time. An update asked
// for while a fill holds it starts when the fill releases it.
enum WorkerKind : uint8_t { WorkerNone = 0, WorkerUpdate, WorkerFill };
bool claimWorker(WorkerKind kind);
void releaseWorker();
// Back to the state at module load (tests and a fresh attach).
void resetSchedule();
