// The file seam: the only way the portable core touches files.
// Paths are UTF-16, as the platform's module file name gives them.
#pragma once
#include <cstddef>

// What readFileStart gives when it read nothing: there is no such file (a first
// start: defaults are made), or there is a file that could not be read (another
// program holds it unshared, access is denied, an I/O error). A file that could
// not be read is never written over: it may hold everything the user has.
constexpr long FileMissing = -1;
constexpr long FileUnreadable = -2;

// Reads up to size bytes from offset 0 into buffer. Returns the number of bytes
// read, or FileMissing / FileUnreadable (the buffer is then untouched, or holds
// a part of a read that failed half-way).
long readFileStart(const char16_t* path, void* buffer, size_t size);

// Writes the whole image to a temporary file beside path, flushes it, and only
// then puts it in place of path. When anything fails the file that was there
// stays as it was and false comes back. An empty path (no place for the file)
// writes nothing anywhere.
bool replaceFileContents(const char16_t* path, const void* data, size_t size);
