// A small scanner over 8-bit text, not an XML parser: elements found by name
// (lower case), their attribute text and content read where they lie. It
// allocates nothing; copied text goes into fixed buffers and is cut to their
// capacity.
#pragma once
#include <cstddef>
#include <cstdint>

#include "update/xmltag.h"

// Capacities, each counting the terminating NUL.
constexpr size_t RootContentCapacity = 65536 + 1;  // any document the download accepts
constexpr size_t ElementContentCapacity = 512;
constexpr size_t TagPatternCapacity = 32;

// Where an element lies: its attribute text [attributes, tagEnd), its content from
// tagEnd + 1 up to contentEnd (null when the end tag is missing), and after, just
// past the end tag.
struct ElementSpan {
    const char* attributes;
    const char* tagEnd;
    const char* contentEnd;
    const char* after;
};

// The first element name in text; false when its start tag is not found.
bool locateElement(const char* text, const char* name, ElementSpan& span);

// Finds the first element `name` (lower case) in text. Copies its attribute text
// and its content when buffers are given. Returns 0 when the start tag is not
// found; otherwise the offset just past the end tag (content wanted and end tag
// found) or the offset of the content's first byte.
int findElement(const char* text, const char* name, char* attributes, size_t attributeCapacity, char* content,
                size_t contentCapacity);

// What findElement without an attribute buffer finds for each of count names in
// the element content [text, limit), in one pass over its tags: the content of
// each into its buffer (empty when the element or its end tag is missing). The
// content is read where it lies; limit stands where a copy cut to its buffer would end.
// At most MaxChildren names are read; the buffers of any further ones are left alone.
struct ChildWanted {
    const char* name;
    size_t nameLength;
    char* content;
    size_t capacity;
};

constexpr int MaxChildren = 4;

void readChildren(const char* text, const char* limit, ChildWanted* children, int count);

// Copies length bytes of src into dst of capacity bytes, cut to fit, NUL-terminated.
void copyCut(char* dst, size_t capacity, const char* src, size_t length);
// A-Z to a-z in place; every other byte stays as it is.
void lowerCase(char* text, size_t length);
// The value of attribute name (lower case) in the attribute text [from, to), cut
// to capacity; empty when it is not there. The name must start the text or
// follow a blank.
void attributeValue(const char* from, const char* to, const char* name, char* out, size_t capacity);

// The root element `name` of the length bytes at text (text[length] is NUL) as
// locateElement finds it, but for its content's end: the last "</name>" in the
// text here (null when there is none), as a document ends with it. A walk over
// the root's content (startWalk) ends at the first, wherever it lies.
bool locateRoot(const char* text, size_t length, const char* name, ElementSpan& root);
// The end of the root's content [root.tagEnd + 1, end) as a copy cut to
// RootContentCapacity would hold it; the root must have its end tag.
const char* rootContentEnd(const ElementSpan& root);

// The key of a start tag ("name") or an end tag ("/name>"): TagKey, update/xmltag.h.
TagKey tagKey(const char* name, size_t nameLength, bool closing);

// The start and end tag keys of the children a walk reads (names start with a letter).
struct ChildKeys {
    ChildWanted* children;
    int count;
    TagKey starts[MaxChildren];
    TagKey ends[MaxChildren];
};

// The elements `name` (lower case) of a root's content, one after the other, in
// one pass over their tags: each is the one locateElement finds in what is left
// of the content (the first "<name " while there is one, else the first
// "<name>"), and the text after it is what is left; after an element without its
// end tag that is its content. The content ends at the root's first end tag, or
// where a copy cut to RootContentCapacity would end. The children wanted are read
// from each element's content cut to ElementContentCapacity as readChildren reads
// them. No byte at or past the content's end is read.
struct ElementWalk {
    const char* cursor;
    const char* end;  // moves to the root's first end tag once it is met
    TagKey rootEnd;
    TagKey start;
    TagKey endTag;
    ChildKeys children;
    bool startsWithAttributes;  // false once none is left from the cursor on
    bool endTags;               // false once no "</name>" is left from the cursor on
};

// root as locateRoot finds it, with its end tag.
void startWalk(ElementWalk& walk, const ElementSpan& root, const char* rootName, const char* name,
               ChildWanted* children, int count);
// The next element into span, its children into their buffers; false when there
// is none, or its start tag is not closed.
bool nextElement(ElementWalk& walk, ElementSpan& span);
