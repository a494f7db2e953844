// Small helpers for UTF-16 text held as char16_t, always bounded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

size_t length16(const char16_t* s, size_t capacity);
// Copies src into dst of capacity units, cutting it when needed; dst always ends in NUL.
void copy16(char16_t* dst, size_t capacity, const char16_t* src);
// Widens 8-bit ASCII text into dst of capacity units, cut and NUL-terminated.
void widen16(char16_t* dst, size_t capacity, const char* src);
// Turns the first '.' within capacity units into ','.
void firstPointToComma(char16_t* text, size_t capacity);
std::string toUtf8(const char16_t* s);
std::u16string fromUtf8(const std::string& s);

// Data files lie beside the module: everything up to and including the last
// path separator of modulePath, then fileName. A module path without a separator
// gives the bare file name. A result that would not fit is left empty (false):
// a cut path would name some other file.
bool composeDataPath(char16_t* out, size_t capacity, const char16_t* modulePath, const char16_t* fileName);
