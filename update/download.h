// Fetching one daily-rates document and storing the day it holds.
#pragma once
#include <cstddef>

#include "data/currency.h"

// Bytes of a document the download takes. A document that fills them all is
// refused: its end was not read, and a cut root would store a day without rates.
constexpr size_t DocumentLimit = 65536;
// Responses of this many bytes or fewer are never read as documents.
constexpr size_t DocumentFloor = 256;

// Fetches the latest rates (latest set; day not read) or the rates of day, reads
// the document and stores its day in the history. True when a day was stored;
// false, with nothing stored, on any failure. Blocks: up to 30 s for the
// connection, then the network. Runs on the update worker only.
bool downloadRates(bool latest, const DayCode& day);
