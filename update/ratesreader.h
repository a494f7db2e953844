// Reader of the bank's daily-rates document: a small scanner over 8-bit text,
// not an XML parser. It allocates nothing; copied text goes into fixed buffers
// and is cut to their capacity.
#pragma once
#include <cstddef>

#include "data/currency.h"

// Capacities, each counting the terminating NUL.
constexpr size_t RootAttributeCapacity = 64;
constexpr size_t RootContentCapacity = 65536 + 1;  // any document the download accepts
constexpr size_t ElementContentCapacity = 512;
constexpr size_t CodeCapacity = 8;
constexpr size_t NominalCapacity = 16;
constexpr size_t ValueCapacity = 16;
constexpr size_t TagPatternCapacity = 32;

// Finds the first element `name` (lower case) in text. Copies its attribute text
// and its content when buffers are given. Returns 0 when the start tag is not
// found; otherwise the offset just past the end tag (content wanted and end tag
// found) or the offset of the content's first byte.
int findElement(const char* text, const char* name, char* attributes, size_t attributeCapacity, char* content,
                size_t contentCapacity);

// Reads a whole document (NUL-terminated; lower-cased in place) into rates.
// A document is read only when it is whole: the root with its end tag and a
// date that is a real calendar day within the years a day code holds, and at
// least one table currency quoted (nominal and rate above 0). Anything else
// gives false and an all-zero record.
bool parseDailyRates(char* text, DayRates& rates);
// The same for the length bytes at text (text[length] is NUL); false when a NUL
// lies inside them, as in a damaged body.
bool parseDailyRates(char* text, size_t length, DayRates& rates);

// Number fields as the document writes them (exposed for tests).
int readIntegerField(const char* text);
double readRateField(const char* text);
