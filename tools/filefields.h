// vokfiles' portable half: the settings record's fields by name, read and written as
// text, and one history day as a line of text. Built natively with the portable core;
// the plug-in does not use it.
#pragma once
#include <cstddef>
#include <cstdint>

#include "data/currency.h"
#include "data/settings.h"

// Writes the value of the field `name` of s as text into out ("15", "Tahoma",
// "90,90,90", "0x0000ff"). False when there is no such field or out is too small.
bool formatSettingsField(const Settings& s, const char* name, char* out, size_t capacity);

// Sets the field `name` of s from text. False, with s unchanged, when there is no
// such field or the text is not a value the field can hold (a number outside its
// type, a list of the wrong length, a text longer than its place).
bool parseSettingsField(Settings& s, const char* name, const char* text);

// The bits set in updateFlags by the names of settings.h ("updateDaily, updateOnConnect";
// "none"; a bit without a name as "bit 6"). False when out is too small.
bool formatUpdateFlags(uint8_t flags, char* out, size_t capacity);

// The names of every field, in record order, for listing: the first count names,
// items only up to itemCount. Calls visit(name, context) for each.
void forEachSettingsField(const Settings& s, void (*visit)(const char* name, void* context), void* context);

// One day of the history as a line (no newline): "DD.MM.YYYY  EUR 1 91.2000  USD ...",
// currencies with no rate left out. False when out is too small.
bool formatHistoryDay(const DayRates& day, char* out, size_t capacity);

