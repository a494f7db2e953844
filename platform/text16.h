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

// Digits after the point of every formatted number: 0 to 4, whatever a damaged
// settings file says.
int fixedDigitsInRange(int32_t digits);
// Room for any double with 4 digits after the point (309 integer digits, sign,
// point, 4 digits, NUL).
constexpr size_t FixedTextUnits = 320;
// Writes value in fixed point with digits (held to 0..4) after the point, as
// "%.<digits>f" does in the C locale: exactly rounded, a tie to the even digit,
// "-" for every negative value (-0.00 too), "inf" and "nan" for those. With comma
// the point is ','. Cut to fit capacity, always terminated; returns the length.
size_t formatFixed(char16_t* out, size_t capacity, double value, int32_t digits, bool comma);
// Reads a decimal number from 8-bit text as "%lf" reads one in the C locale,
// whatever the host's locale, with a point or a comma before the fraction:
// blanks, a sign, digits, a fraction, an exponent. No hexadecimal, infinity or
// NaN forms; text with no digit reads as 0. A number too large for a double reads
// as infinity. Exactly rounded for whole numbers and for up to 15 digits with up
// to 22 after the point. end, when given, is set just past what was read (to text
// when nothing was).
double readDecimal(const char* text, const char** end);
// Writes value in decimal ASCII, zero-padded to at least width digits, as "%0<width>d"
// does, into out of capacity bytes: cut to fit, always terminated. Returns the length.
size_t formatWhole(char* out, size_t capacity, int32_t value, int width);
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
// The same for 8-bit ASCII text, widened.
bool appendText(char16_t* out, size_t capacity, size_t& used, const char* ascii, bool whole = false);

// Data files lie beside the module: everything up to and including the last
// path separator of modulePath, then fileName. A module path without a separator
// gives the bare file name. A result that would not fit is left empty (false):
// a cut path would name some other file.
bool composeDataPath(char16_t* out, size_t capacity, const char16_t* modulePath, const char16_t* fileName);
