// Elements found by name in the text (locateElement, findElement; the root's
// start tag is found so too), and the lower case. The root, the walk over its
// elements and what the reader takes of each: update/xmlwalk.cpp.
#include "update/xmlscan.h"

#include <cstdint>
#include <cstring>

#include "update/xmlwords.h"

// The first "<name " in text when there is one anywhere, else the first "<name>";
// one pass over the text. Sets withAttributes for the first form.
static const char* findStartTag(const char* text, const char* name, size_t nameLength, bool& withAttributes)
{
    char prefix[TagPatternCapacity];
    prefix[0] = '<';
    std::memcpy(prefix + 1, name, nameLength);
    prefix[nameLength + 1] = 0;
    const char* plain = nullptr;
    for (const char* at = std::strstr(text, prefix); at; at = std::strstr(at + 1, prefix)) {
        char after = at[nameLength + 1];
        if (after == ' ') {
            withAttributes = true;
            return at;
        }
        if (after == '>' && !plain) plain = at;
    }
    withAttributes = false;
    return plain;
}

// The start tag of the first element name in text as locateElement finds it:
// span's attributes and tagEnd.
bool locateStartTag(const char* text, const char* name, size_t nameLength, ElementSpan& span)
{
    bool withAttributes = false;
    const char* found = findStartTag(text, name, nameLength, withAttributes);
    if (!found) return false;
    span.attributes = found + nameLength + 2;
    if (withAttributes) {
        span.tagEnd = std::strchr(span.attributes, '>');
        if (!span.tagEnd) return false;
    } else {
        span.tagEnd = span.attributes - 1;
        span.attributes = span.tagEnd;
    }
    return true;
}

bool locateElement(const char* text, const char* name, ElementSpan& span)
{
    size_t nameLength = std::strlen(name);
    if (nameLength + 4 > TagPatternCapacity) return false;  // "</name>" and its NUL must fit
    if (!locateStartTag(text, name, nameLength, span)) return false;
    char pattern[TagPatternCapacity];
    pattern[0] = '<';
    pattern[1] = '/';
    std::memcpy(pattern + 2, name, nameLength);
    pattern[nameLength + 2] = '>';
    pattern[nameLength + 3] = 0;
    span.contentEnd = std::strstr(span.tagEnd + 1, pattern);
    span.after = span.contentEnd ? span.contentEnd + nameLength + 3 : nullptr;
    return true;
}

int findElement(const char* text, const char* name, char* attributes, size_t attributeCapacity, char* content,
                size_t contentCapacity)
{
    ElementSpan span;
    if (!locateElement(text, name, span)) return 0;
    copyCut(attributes, attributeCapacity, span.attributes, static_cast<size_t>(span.tagEnd - span.attributes));
    const char* contentStart = span.tagEnd + 1;
    if (!content) return static_cast<int>(contentStart - text);
    if (!span.contentEnd) {
        copyCut(content, contentCapacity, contentStart, 0);
        return static_cast<int>(contentStart - text);
    }
    copyCut(content, contentCapacity, contentStart, static_cast<size_t>(span.contentEnd - contentStart));
    return static_cast<int>(span.after - text);
}

// A-Z to a-z in the eight bytes of w; every other byte stays as it is.
static uint64_t lowerWord(uint64_t w)
{
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t high = 0x8080808080808080ull;
    uint64_t low7 = w & ~high;
    uint64_t aboveZ = low7 + ones * (0x7F - 'Z');
    uint64_t fromA = low7 + ones * (0x80 - 'A');
    uint64_t upper = ~w & (fromA ^ aboveZ) & high;
    return w ^ (upper >> 2);
}

// A-Z to a-z in place, eight bytes at a time; every other byte stays as it is.
void lowerCase(char* text, size_t length)
{
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, text + i, 8);
        w = lowerWord(w);
        std::memcpy(text + i, &w, 8);
    }
    for (; i < length; ++i)
        if (static_cast<unsigned char>(text[i] - 'A') < 26) text[i] = char(text[i] + ('a' - 'A'));
}
