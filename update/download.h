// Fetching one daily-rates document and storing the day it holds.
#pragma once
#include <cstddef>

#include "data/currency.h"

// Bytes of a document the download takes. A document that fills them all is
// refused: its end was not read, and a cut root would store a day without rates.
constexpr size_t DocumentLimit = 65536;
// Responses of this many bytes or fewer are never read as documents.
constexpr size_t DocumentFloor = 256;

// Time limits. Each step on the network (connecting, sending, waiting for the
// next bytes) gets at most StepLimitMs; the connection manager at most
// ConnectionLimitMs. One update, its connection set-up and both its downloads
// included, gets UpdateLimitMs in all, then fails.
constexpr unsigned long StepLimitMs = 30000;
constexpr unsigned long ConnectionLimitMs = 30000;
constexpr unsigned long UpdateLimitMs = 60000;

// Fetches the latest rates (latest set; day not read) or the rates of day, reads
// the document and stores its day in the history. True when a day was stored;
// false, with nothing stored, on any failure, a stall past the time limit
// included. Redirects are followed, from http to https too; certificate errors
// are never ignored. The answer is always fetched afresh and never cached.
// Runs on the update worker only.
bool downloadRates(bool latest, const DayCode& day);

// Fetches url (any request form) and gives the body of the answer, NUL-terminated,
// in the one document buffer, valid until the next download or fetch; false on
// any failure or an answer that fills the buffer. The same rules as above.
bool fetchDocument(const char16_t* url, char*& body, size_t& length);

// One update's downloads share its time limit: it runs from beginUpdateRun to
// endUpdateRun. A download outside a run has the whole limit to itself.
void beginUpdateRun();
void endUpdateRun();
