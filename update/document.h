// The download's portable side: the settings it takes, and accepting or refusing
// a received daily-rates document, apart from any network.
#pragma once
#include <cstddef>

#include "data/currency.h"

// Reads the length bytes of a received body at text (which holds at least
// length + 1 bytes; text[length] becomes NUL) and stores its day in the history.
// Refused, with nothing stored: a body of DocumentFloor bytes or fewer, one that
// filled the whole buffer (its end was not read), and anything the reader turns
// away. True, with stored set to the day, when a day was stored.
bool storeReceivedDocument(char* text, size_t length, DayCode& stored);

// What a download needs of the settings, taken in one piece: the options
// dialog's OK writes them under the history lock, and they are read under it.
struct FetchSettings {
    bool establishConnection;
    bool useProxy;
    char16_t proxy[65];
};
void takeFetchSettings(FetchSettings& out);
