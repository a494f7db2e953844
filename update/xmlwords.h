// The scanner's inner helpers: bytes found and tags told a word at a time, and
// the cut of a copy, inline, as the walk (update/xmlwalk.cpp) calls them in its
// inner loop; and the start tag as locateElement finds it (update/xmlscan.cpp),
// by which locateRoot finds the root's.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "update/xmltag.h"

struct ElementSpan;

// The start tag of the first element name in text as locateElement finds it:
// span's attributes and tagEnd.
bool locateStartTag(const char* text, const char* name, size_t nameLength, ElementSpan& span);

// The index in memory order of the first byte of a word with its high bit set.
static inline int firstMarkedByte(uint64_t marks)
{
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return __builtin_clzll(marks) / 8;
#else
    return __builtin_ctzll(marks) / 8;
#endif
}

// The first byte c in [at, limit). What is looked for (the next tag, the end of
// this one) lies a few bytes on, too close for a call to memchr to pay: eight
// bytes are tested at a time here.
static inline const char* nextByte(const char* at, const char* limit, char c)
{
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t low7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t pattern = ones * static_cast<unsigned char>(c);
    for (; limit - at >= 8; at += 8) {
        uint64_t w;
        std::memcpy(&w, at, 8);
        w ^= pattern;                                       // a zero byte where a c is
        uint64_t zero = ~(((w & low7) + low7) | w | low7);  // the high bit of each zero byte, no other
        if (zero) return at + firstMarkedByte(zero);
    }
    for (; at < limit; ++at)
        if (*at == c) return at;
    return nullptr;
}

static inline const char* nextTag(const char* at, const char* limit) { return nextByte(at, limit, '<'); }
static inline const char* nextTagEnd(const char* at, const char* limit) { return nextByte(at, limit, '>'); }

// The eight bytes at text, those at or past limit read as 0.
static inline uint64_t wordAt(const char* text, const char* limit)
{
    uint64_t word = 0;
    size_t room = text < limit ? static_cast<size_t>(limit - text) : 0;
    if (room >= 8)
        std::memcpy(&word, text, 8);
    else
        std::memcpy(&word, text, room);
    return word;
}

static inline char keyByte(const TagKey& key, size_t i)
{
    if (!key.closing) return key.name[i];
    return i == 0 ? '/' : i <= key.nameLength ? key.name[i - 1] : '>';
}

// The tag at the '<' at is key's, wholly before limit (a start tag with room for
// the byte after its name); word holds the eight bytes after the '<'.
static inline bool keyAt(const TagKey& key, const char* at, const char* limit, uint64_t word)
{
    if ((word & key.mask) != key.word) return false;
    size_t room = static_cast<size_t>(limit - at) - 1;
    if (room < key.length + (key.closing ? 0 : 1)) return false;
    for (size_t i = 8; i < key.length; ++i)
        if (at[1 + i] != keyByte(key, i)) return false;
    return true;
}

static inline bool isTag(const TagKey& key, const char* at, const char* limit)
{
    return keyAt(key, at, limit, wordAt(at + 1, limit));
}

// The eight bytes after a tag's '<' open an end tag.
static inline bool closing(uint64_t word)
{
    const char slash[8] = {'/'};
    const unsigned char first[8] = {0xFF};
    uint64_t s, mask;
    std::memcpy(&s, slash, 8);
    std::memcpy(&mask, first, 8);
    return (word & mask) == s;
}

// start + length cut to what a buffer of capacity bytes holds, and to end.
static inline const char* cutEnd(const char* start, const char* end, size_t capacity)
{
    return static_cast<size_t>(end - start) > capacity - 1 ? start + (capacity - 1) : end;
}
