// The scanner's tag key on its own: the public header holds keys in its walk, and
// the scanner's inline compares (update/xmlwords.h) take them, without either
// including the other.
#pragma once
#include <cstddef>
#include <cstdint>

// What tells a tag from the bytes after its '<': "name" for a start tag (the
// byte after the name is looked at apart), "/name>" for an end tag. Their first
// eight bytes are one masked word, so that most tags are told apart by one test.
struct TagKey {
    const char* name;
    size_t nameLength;
    size_t length;  // of the bytes told
    bool closing;
    uint64_t word;
    uint64_t mask;
};
