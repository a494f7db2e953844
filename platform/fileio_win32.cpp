// Win32 file seam: _wfopen, a flushed temporary file, MoveFileExW over the old one.
#include <windows.h>
#include <errno.h>
#include <io.h>
#include <stdio.h>

#include "platform/fileio.h"
#include "platform/testhooks.h"

#ifdef VOK_TEST
long fileWriteFailAfter = -1;
std::atomic<long> fileAccessCount{0};
std::atomic<const char16_t*> fileReadsRefusedFor{nullptr};
#endif

long readFileStart(const char16_t* path, void* buffer, size_t size)
{
#ifdef VOK_TEST
    ++fileAccessCount;
#endif
    FILE* f = _wfopen(reinterpret_cast<const wchar_t*>(path), L"rb");
    // Only a file that is not there is missing: one held unshared by another
    // program, or locked away, is there and could not be read.
    if (!f) return errno == ENOENT ? FileMissing : FileUnreadable;
    size_t got = fread(buffer, 1, size, f);
    bool failed = ferror(f) != 0;
    fclose(f);
    return failed ? FileUnreadable : static_cast<long>(got);
}

static bool writeAll(FILE* f, const void* data, size_t size)
{
    size_t wanted = size;
#ifdef VOK_TEST
    if (fileWriteFailAfter >= 0 && static_cast<size_t>(fileWriteFailAfter) < size)
        wanted = static_cast<size_t>(fileWriteFailAfter);
#endif
    if (fwrite(data, 1, wanted, f) != wanted) return false;
    if (wanted != size) return false;
    if (fflush(f) != 0) return false;
    return _commit(_fileno(f)) == 0;
}

bool replaceFileContents(const char16_t* path, const void* data, size_t size)
{
#ifdef VOK_TEST
    ++fileAccessCount;
#endif
    if (!path || !path[0]) return false;
    const wchar_t* name = reinterpret_cast<const wchar_t*>(path);
    wchar_t temp[MAX_PATH + 8];
    int n = _snwprintf(temp, MAX_PATH + 4, L"%ls.tmp", name);
    if (n < 0 || n >= MAX_PATH + 4) return false;
    temp[n] = 0;
    FILE* f = _wfopen(temp, L"wb");
    if (!f) return false;
    bool written = writeAll(f, data, size);
    if (fclose(f) != 0) written = false;
    if (!written || !MoveFileExW(temp, name, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileW(temp);
        return false;
    }
    return true;
}
