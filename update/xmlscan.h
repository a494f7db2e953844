// A small scanner over 8-bit text, not an XML parser: elements found by name
// (lower case), their attribute text and content read where they lie. It
// allocates nothing; copied text goes into fixed buffers and is cut to their
// capacity.
#pragma once
#include <cstddef>

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
struct ChildWanted {
    const char* name;
    size_t nameLength;
    char* content;
    size_t capacity;
};

void readChildren(const char* text, const char* limit, ChildWanted* children, int count);

// Copies length bytes of src into dst of capacity bytes, cut to fit, NUL-terminated.
void copyCut(char* dst, size_t capacity, const char* src, size_t length);
// A-Z to a-z in place; every other byte stays as it is.
void lowerCase(char* text, size_t length);
// The value of attribute name (lower case) in the attribute text [from, to), cut
// to capacity; empty when it is not there. The name must start the text or
// follow a blank.
void attributeValue(const char* from, const char* to, const char* name, char* out, size_t capacity);

// The root's content is read where it lies, up to what a copy cut to
// RootContentCapacity would hold: a NUL stands at its end while it is read and
// the byte it replaced is put back.
struct RootContent {
    char* start;
    char* end;
    char saved;
};

void openRoot(const ElementSpan& root, RootContent& content);
void closeRoot(RootContent& content);
// The content of a child element as a copy cut to ElementContentCapacity would
// end: where the element's end tag is, or earlier.
const char* contentLimit(const ElementSpan& element);
