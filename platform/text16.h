// Small helpers for UTF-16 text held as char16_t, always bounded.
#pragma once
#include <cstddef>
#include <cstdint>

size_t length16(const char16_t* s, size_t capacity);
// Copies src into dst of capacity units, cutting it when needed; dst always ends in NUL.
void copy16(char16_t* dst, size_t capacity, const char16_t* src);
// Widens 8-bit ASCII text into dst of capacity units, cut and NUL-terminated.
void widen16(char16_t* dst, size_t capacity, const char* src);
// Turns the first '.' within capacity units into ','.
void firstPointToComma(char16_t* text, size_t capacity);

// Encodes s as UTF-8 into out of capacity bytes, NUL-terminated. False (and out
// empty) when it does not fit whole: a cut file name would name some other file.
bool encodeUtf8(char* out, size_t capacity, const char16_t* s);
// UTF-8 text into UTF-16 of capacity units, NUL included. False on a broken sequence
// or a text that does not fit whole.
bool decodeUtf8(char16_t* out, size_t capacity, const char* text);

// Appends text at used in out of capacity units (its NUL included) and moves used
// past it: cut to fit, or with whole set all of it or nothing. Without out, only
// counts. False when it did not fit whole.
bool appendText(char16_t* out, size_t capacity, size_t& used, const char16_t* text, bool whole = false);
// The same for 8-bit ASCII text, widened; and 8-bit text into 8-bit text.
bool appendText(char16_t* out, size_t capacity, size_t& used, const char* ascii, bool whole = false);
bool appendText(char* out, size_t capacity, size_t& used, const char* text, bool whole = false);

// Data files lie beside the module: everything up to and including the last
// path separator of modulePath, then fileName. A module path without a separator
// gives the bare file name. A result that would not fit is left empty (false):
// a cut path would name some other file.
bool composeDataPath(char16_t* out, size_t capacity, const char16_t* modulePath, const char16_t* fileName);
