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

// The start tag of the first element name in text as locateElement finds it:
// span's attributes and tagEnd.
static bool locateStartTag(const char* text, const char* name, size_t nameLength, ElementSpan& span)
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

// The length bytes at text are name's. A loop, not memcmp: the names are short, and
// where they differ most often do so in their first byte.
static bool namedAt(const char* text, const char* name, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (text[i] != name[i]) return false;
    return true;
}

// The index in memory order of the first byte of a word with its high bit set.
static int firstMarkedByte(uint64_t marks)
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
static const char* nextByte(const char* at, const char* limit, char c)
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

static const char* nextTag(const char* at, const char* limit) { return nextByte(at, limit, '<'); }
static const char* nextTagEnd(const char* at, const char* limit) { return nextByte(at, limit, '>'); }

// The eight bytes at text, those at or past limit read as 0.
static uint64_t wordAt(const char* text, const char* limit)
{
    uint64_t word = 0;
    size_t room = text < limit ? static_cast<size_t>(limit - text) : 0;
    if (room >= 8)
        std::memcpy(&word, text, 8);
    else
        std::memcpy(&word, text, room);
    return word;
}

static char keyByte(const TagKey& key, size_t i)
{
    if (!key.closing) return key.name[i];
    return i == 0 ? '/' : i <= key.nameLength ? key.name[i - 1] : '>';
}

TagKey tagKey(const char* name, size_t nameLength, bool closing)
{
    TagKey key{name, nameLength, closing ? nameLength + 2 : nameLength, closing, 0, 0};
    char head[8] = {};
    size_t n = key.length < 8 ? key.length : 8;
    if (closing) {
        head[0] = '/';
        std::memcpy(head + 1, name, n - 1 < nameLength ? n - 1 : nameLength);
        if (nameLength + 1 < 8) head[nameLength + 1] = '>';
    } else {
        std::memcpy(head, name, n);
    }
    unsigned char mask[8] = {};
    std::memset(mask, 0xFF, n);
    std::memcpy(&key.word, head, 8);
    std::memcpy(&key.mask, mask, 8);
    return key;
}

// The tag at the '<' at is key's, wholly before limit (a start tag with room for
// the byte after its name); word holds the eight bytes after the '<'.
static bool keyAt(const TagKey& key, const char* at, const char* limit, uint64_t word)
{
    if ((word & key.mask) != key.word) return false;
    size_t room = static_cast<size_t>(limit - at) - 1;
    if (room < key.length + (key.closing ? 0 : 1)) return false;
    for (size_t i = 8; i < key.length; ++i)
        if (at[1 + i] != keyByte(key, i)) return false;
    return true;
}

static bool isTag(const TagKey& key, const char* at, const char* limit)
{
    return keyAt(key, at, limit, wordAt(at + 1, limit));
}

// What the tags of an element's content have shown of a wanted child so far: its
// start (the first "<name " once there is one, else the first "<name>"), where
// its content begins (null while its start tag is not closed) and the first
// "</name>" from there on.
struct ChildState {
    const char* start;
    const char* contentFrom;
    const char* contentEnd;
    bool withAttributes;
};

// Only the states in use: a zeroed array of all of them would be one block store
// more for every element.
static void clearStates(ChildState* states, int count)
{
    for (int i = 0; i < count; ++i) states[i] = ChildState{nullptr, nullptr, nullptr, false};
}

// The start tag at the '<' at in the content cut at cut, word the eight bytes
// after the '<': taken for each child it starts, if it is the start that counts.
static void noteStart(const char* at, const char* cut, uint64_t word, const ChildKeys& keys, ChildState* states)
{
    for (int i = 0; i < keys.count; ++i) {
        ChildState& c = states[i];
        if (c.withAttributes || !keyAt(keys.starts[i], at, cut, word)) continue;
        const size_t length = keys.starts[i].length;
        char after = at[length + 1];
        if (after == ' ') {
            const char* tagEnd = nextTagEnd(at + length + 2, cut);
            c = ChildState{at, tagEnd ? tagEnd + 1 : nullptr, nullptr, true};
        } else if (after == '>' && !c.start) {
            c = ChildState{at, at + length + 2, nullptr, false};
        }
    }
}

// The end tag at the '<' at: taken for each child whose content it ends.
static void noteEnd(const char* at, const char* cut, uint64_t word, const ChildKeys& keys, ChildState* states)
{
    for (int i = 0; i < keys.count; ++i) {
        ChildState& c = states[i];
        if (c.contentFrom && !c.contentEnd && at >= c.contentFrom && keyAt(keys.ends[i], at, cut, word))
            c.contentEnd = at;
    }
}

// The eight bytes after a tag's '<' open an end tag.
static bool closing(uint64_t word)
{
    const char slash[8] = {'/'};
    const unsigned char first[8] = {0xFF};
    uint64_t s, mask;
    std::memcpy(&s, slash, 8);
    std::memcpy(&mask, first, 8);
    return (word & mask) == s;
}

static void noteTag(const char* at, const char* cut, uint64_t word, const ChildKeys& keys, ChildState* states)
{
    if (closing(word))
        noteEnd(at, cut, word, keys, states);
    else
        noteStart(at, cut, word, keys, states);
}

// copyCut for the few bytes of a field, byte by byte: a call to memcpy costs more.
static void copyField(char* dst, size_t capacity, const char* src, size_t length)
{
    if (capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    for (size_t i = 0; i < length; ++i) dst[i] = src[i];
    dst[length] = 0;
}

// Each child's content into its buffer, empty when it has no end tag.
static void copyChildren(const ChildWanted* children, int count, const ChildState* states)
{
    for (int i = 0; i < count; ++i) {
        const ChildState& c = states[i];
        size_t length = c.contentEnd ? static_cast<size_t>(c.contentEnd - c.contentFrom) : 0;
        copyField(children[i].content, children[i].capacity, c.contentFrom, length);
    }
}

static void childKeys(ChildWanted* children, int count, ChildKeys& keys)
{
    keys.children = children;
    keys.count = count < MaxChildren ? count : MaxChildren;
    for (int i = 0; i < keys.count; ++i) {
        keys.starts[i] = tagKey(children[i].name, children[i].nameLength, false);
        keys.ends[i] = tagKey(children[i].name, children[i].nameLength, true);
    }
}

void readChildren(const char* text, const char* limit, ChildWanted* children, int count)
{
    ChildKeys keys;
    childKeys(children, count, keys);
    ChildState states[MaxChildren];
    clearStates(states, keys.count);
    for (const char* at = nextTag(text, limit); at; at = nextTag(at + 1, limit))
        noteTag(at, limit, wordAt(at + 1, limit), keys, states);
    copyChildren(children, keys.count, states);
}

// The last "</name>" in [from, end), looked for from the end: a document ends
// with its root's end tag, or a few blanks after it.
static const char* lastEndTag(const char* from, const char* end, const TagKey& key)
{
    size_t room = static_cast<size_t>(end - from);
    if (room < key.length + 1) return nullptr;
    for (size_t i = room - (key.length + 1) + 1; i-- > 0;)
        if (from[i] == '<' && isTag(key, from + i, end)) return from + i;
    return nullptr;
}

bool locateRoot(const char* text, size_t length, const char* name, ElementSpan& root)
{
    size_t nameLength = std::strlen(name);
    if (nameLength + 4 > TagPatternCapacity || !locateStartTag(text, name, nameLength, root)) return false;
    root.contentEnd = lastEndTag(root.tagEnd + 1, text + length, tagKey(name, nameLength, true));
    root.after = root.contentEnd ? root.contentEnd + nameLength + 3 : nullptr;
    return true;
}

// start + length cut to what a buffer of capacity bytes holds, and to end.
static const char* cutEnd(const char* start, const char* end, size_t capacity)
{
    return static_cast<size_t>(end - start) > capacity - 1 ? start + (capacity - 1) : end;
}

const char* rootContentEnd(const ElementSpan& root)
{
    return cutEnd(root.tagEnd + 1, root.contentEnd, RootContentCapacity);
}

void startWalk(ElementWalk& walk, const ElementSpan& root, const char* rootName, const char* name,
               ChildWanted* children, int count)
{
    walk.rootEnd = tagKey(rootName, std::strlen(rootName), true);
    walk.start = tagKey(name, std::strlen(name), false);
    walk.endTag = tagKey(name, walk.start.length, true);
    childKeys(children, count, walk.children);
    walk.cursor = root.tagEnd + 1;
    walk.end = rootContentEnd(root);
    walk.startsWithAttributes = true;
    walk.endTags = true;
}

// The tag at the '<' at is the root's first end tag, the walk's end from now on.
static bool endsRoot(ElementWalk& walk, const char* at, uint64_t word)
{
    if (!keyAt(walk.rootEnd, at, walk.end, word)) return false;
    walk.end = at;
    return true;
}

// The root's end tag inside the attribute text of span ends the root there: its
// '>' is then the tag's end, the first '>' after the name.
static bool endsRootInTag(ElementWalk& walk, const ElementSpan& span)
{
    if (size_t(span.tagEnd - span.attributes) < walk.rootEnd.length) return false;
    const char* at = span.tagEnd - walk.rootEnd.length;
    return *at == '<' && endsRoot(walk, at, wordAt(at + 1, walk.end));
}

// The next start tag from the cursor on: the first "<name " while one may be left,
// else the first "<name>". What is left only shrinks, so once no "<name " is
// found none is looked for again.
static const char* findStart(ElementWalk& walk, bool& withAttributes)
{
    const char* plain = nullptr;
    withAttributes = false;
    for (const char* at = nextTag(walk.cursor, walk.end); at; at = nextTag(at + 1, walk.end)) {
        uint64_t word = wordAt(at + 1, walk.end);
        if (endsRoot(walk, at, word)) break;
        if (!keyAt(walk.start, at, walk.end, word)) continue;
        char after = at[walk.start.length + 1];
        if (after == ' ' && walk.startsWithAttributes) {
            withAttributes = true;
            return at;
        }
        if (after == '>' && !plain) {
            plain = at;
            if (!walk.startsWithAttributes) return plain;
        }
    }
    walk.startsWithAttributes = false;
    return plain;
}

// The element's end tag from from on, noting on the way the tags of its children
// before cut. Null when none is left before the root's end; then none is looked
// for again.
static const char* walkContent(ElementWalk& walk, const char* from, const char* cut, ChildState* states)
{
    if (!walk.endTags) return nullptr;
    const char* end = walk.end;  // a local: the notes' stores might otherwise be taken to change it
    for (const char* at = nextTag(from, end); at; at = nextTag(at + 1, end)) {
        uint64_t word = wordAt(at + 1, end);
        if (!closing(word)) {
            if (at < cut) noteStart(at, cut, word, walk.children, states);
            continue;
        }
        if (keyAt(walk.endTag, at, end, word)) return at;
        if (endsRoot(walk, at, word)) break;
        if (at < cut) noteEnd(at, cut, word, walk.children, states);
    }
    walk.endTags = false;
    return nullptr;
}

bool nextElement(ElementWalk& walk, ElementSpan& span)
{
    const size_t nameLength = walk.start.length;
    if (nameLength + 4 > TagPatternCapacity) return false;  // as locateElement
    bool withAttributes = false;
    const char* found = findStart(walk, withAttributes);
    if (!found) return false;
    span.tagEnd = found + nameLength + 1;
    span.attributes = span.tagEnd;
    if (withAttributes) {
        span.attributes = span.tagEnd + 1;
        span.tagEnd = nextTagEnd(span.attributes, walk.end);
        if (!span.tagEnd) return false;
        if (endsRootInTag(walk, span)) return false;
    }
    // The children are read from the content cut to ElementContentCapacity. A tag
    // met before the element's end tag holds no '<' but its first byte, so it lies
    // wholly before that end tag: the cut alone bounds them.
    const char* contentStart = span.tagEnd + 1;
    const char* cut = cutEnd(contentStart, walk.end, ElementContentCapacity);
    ChildState states[MaxChildren];
    clearStates(states, walk.children.count);
    span.contentEnd = walkContent(walk, contentStart, cut, states);
    span.after = span.contentEnd ? span.contentEnd + nameLength + 3 : nullptr;
    if (!span.contentEnd) clearStates(states, walk.children.count);  // without its end tag, no content
    copyChildren(walk.children.children, walk.children.count, states);
    walk.cursor = span.contentEnd ? span.after : contentStart;
    return true;
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

// The value of attribute name (lower case) in the attribute text [from, to),
// cut to capacity; empty when it is not there. The name must start the text or
// follow a blank.
void attributeValue(const char* from, const char* to, const char* name, char* out, size_t capacity)
{
    size_t nameLength = std::strlen(name);
    out[0] = 0;
    for (const char* at = from; at + nameLength + 2 <= to; ++at) {
        if ((at != from && !isBlank(at[-1])) || !namedAt(at, name, nameLength)) continue;
        if (at[nameLength] != '=' || at[nameLength + 1] != '"') continue;
        const char* value = at + nameLength + 2;
        const char* end = nextByte(value, to, '"');
        if (end) copyCut(out, capacity, value, static_cast<size_t>(end - value));
        return;
    }
}
