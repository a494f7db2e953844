// The reader's pass over a document: the root's end (locateRoot), the walk over
// its elements (startWalk, nextElement), an element's children (readChildren)
// and attributes (attributeValue), the copies and the tag keys. All that the
// reader calls for each element lies here, beside the word-at-a-time compares it
// takes inline (update/xmlwords.h). Each tag is visited once, a wanted child's
// start and end noted on the way.
#include <cstdint>
#include <cstring>

#include "data/numbertext.h"
#include "update/xmlscan.h"
#include "update/xmlwords.h"

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

const char* rootContentEnd(const ElementSpan& root)
{
    return cutEnd(root.tagEnd + 1, root.contentEnd, RootContentCapacity);
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

// Copies length bytes of src into dst of capacity bytes, cut to fit, NUL-terminated.
void copyCut(char* dst, size_t capacity, const char* src, size_t length)
{
    if (!dst || capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(dst, src, length);
    dst[length] = 0;
}

// The length bytes at text are name's. A loop, not memcmp: the names are short, and
// where they differ most often do so in their first byte.
static bool namedAt(const char* text, const char* name, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (text[i] != name[i]) return false;
    return true;
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
