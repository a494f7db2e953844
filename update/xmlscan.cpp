#include "update/xmlscan.h"

#include <cstdint>
#include <cstring>

#include "data/numbertext.h"

// Copies length bytes of src into dst of capacity bytes, cut to fit, NUL-terminated.
void copyCut(char* dst, size_t capacity, const char* src, size_t length)
{
    if (!dst || capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(dst, src, length);
    dst[length] = 0;
}

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

bool locateElement(const char* text, const char* name, ElementSpan& span)
{
    size_t nameLength = std::strlen(name);
    if (nameLength + 4 > TagPatternCapacity) return false;  // "</name>" and its NUL must fit
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

static const char* nextTagEnd(const char* at, const char* limit)
{
    return at < limit ? static_cast<const char*>(std::memchr(at, '>', static_cast<size_t>(limit - at))) : nullptr;
}

static const char* nextTag(const char* at, const char* limit)
{
    return at < limit ? static_cast<const char*>(std::memchr(at, '<', static_cast<size_t>(limit - at))) : nullptr;
}

// "</name>" at or after from, wholly before limit.
static const char* findEndTag(const char* from, const char* limit, const char* name, size_t nameLength)
{
    for (const char* at = nextTag(from, limit); at; at = nextTag(at + 1, limit)) {
        if (static_cast<size_t>(limit - at) < nameLength + 3) return nullptr;
        if (at[1] == '/' && std::memcmp(at + 2, name, nameLength) == 0 && at[nameLength + 2] == '>') return at;
    }
    return nullptr;
}

void readChildren(const char* text, const char* limit, ChildWanted* children, int count)
{
    const char* withAttributes[4] = {};
    const char* plain[4] = {};
    for (const char* at = nextTag(text, limit); at; at = nextTag(at + 1, limit)) {
        for (int i = 0; i < count; ++i) {
            const ChildWanted& c = children[i];
            if (withAttributes[i] || static_cast<size_t>(limit - at) < c.nameLength + 2) continue;
            if (at[1] != c.name[0] || std::memcmp(at + 1, c.name, c.nameLength) != 0) continue;
            char after = at[c.nameLength + 1];
            if (after == ' ')
                withAttributes[i] = at;
            else if (after == '>' && !plain[i])
                plain[i] = at;
        }
    }
    for (int i = 0; i < count; ++i) {
        const ChildWanted& c = children[i];
        const char* start = withAttributes[i] ? withAttributes[i] : plain[i];
        c.content[0] = 0;
        if (!start) continue;
        const char* tagEnd = start + c.nameLength + 1;
        if (withAttributes[i]) {
            tagEnd = nextTagEnd(start + c.nameLength + 2, limit);
            if (!tagEnd) continue;
        }
        const char* end = findEndTag(tagEnd + 1, limit, c.name, c.nameLength);
        if (end) copyCut(c.content, c.capacity, tagEnd + 1, static_cast<size_t>(end - tagEnd - 1));
    }
}

// A-Z to a-z in place, eight bytes at a time; every other byte stays as it is.
void lowerCase(char* text, size_t length)
{
    const uint64_t ones = 0x0101010101010101ull;
    const uint64_t high = 0x8080808080808080ull;
    size_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t w;
        std::memcpy(&w, text + i, 8);
        uint64_t low7 = w & ~high;
        uint64_t aboveZ = low7 + ones * (0x7F - 'Z');
        uint64_t fromA = low7 + ones * (0x80 - 'A');
        uint64_t upper = ~w & (fromA ^ aboveZ) & high;
        w ^= upper >> 2;
        std::memcpy(text + i, &w, 8);
    }
    for (; i < length; ++i)
        if (static_cast<unsigned char>(text[i] - 'A') < 26) text[i] = char(text[i] + ('a' - 'A'));
}

// The value of attribute name (lower case) in the attribute text [from, to),
// cut to capacity; empty when it is not there. The name must start the text or
// follow a blank.
void attributeValue(const char* from, const char* to, const char* name, char* out, size_t capacity)
{
    size_t nameLength = std::strlen(name);
    out[0] = 0;
    for (const char* at = from; at + nameLength + 2 <= to; ++at) {
        if ((at != from && !isBlank(at[-1])) || std::memcmp(at, name, nameLength) != 0) continue;
        if (at[nameLength] != '=' || at[nameLength + 1] != '"') continue;
        const char* value = at + nameLength + 2;
        const char* end = static_cast<const char*>(std::memchr(value, '"', static_cast<size_t>(to - value)));
        if (end) copyCut(out, capacity, value, static_cast<size_t>(end - value));
        return;
    }
}

void openRoot(const ElementSpan& root, RootContent& content)
{
    content.start = const_cast<char*>(root.tagEnd) + 1;
    content.end = const_cast<char*>(root.contentEnd);
    if (static_cast<size_t>(content.end - content.start) > RootContentCapacity - 1)
        content.end = content.start + (RootContentCapacity - 1);
    content.saved = *content.end;
    *content.end = 0;
}

void closeRoot(RootContent& content) { *content.end = content.saved; }

// The content of a child element as a copy cut to ElementContentCapacity would
// end: where the element's end tag is, or earlier.
const char* contentLimit(const ElementSpan& element)
{
    const char* start = element.tagEnd + 1;
    const char* limit = element.contentEnd ? element.contentEnd : start;
    if (static_cast<size_t>(limit - start) > ElementContentCapacity - 1) limit = start + (ElementContentCapacity - 1);
    return limit;
}
