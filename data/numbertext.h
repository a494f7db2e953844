// Numbers as text: fixed-point and whole numbers written, decimal numbers read,
// exactly and the same whatever the host's locale.
#pragma once
#include <cstddef>
#include <cstdint>

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
// An ASCII digit; white space as the C library's isspace has it in the "C" locale.
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
// Writes value in decimal ASCII, zero-padded to at least width digits, as "%0<width>d"
// does, into out of capacity bytes: cut to fit, always terminated. Returns the length.
size_t formatWhole(char* out, size_t capacity, int32_t value, int width);
