// The file seam: the only way the portable core touches files.
// Paths are UTF-16, as the platform's module file name gives them.
#pragma once
#include <cstddef>

// Reads up to size bytes from offset 0 into buffer. Returns the number of bytes
// read, or -1 when the file can't be opened (the buffer is then untouched).
long readFileStart(const char16_t* path, void* buffer, size_t size);

// Writes the whole image to a temporary file beside path, flushes it, and only
// then puts it in place of path. When anything fails the file that was there
// stays as it was and false comes back. An empty path (no place for the file)
// writes nothing anywhere.
bool replaceFileContents(const char16_t* path, const void* data, size_t size);
