// Native file seam: UTF-16 paths become UTF-8, the image is replaced with rename.
#include <cstdio>
#include <unistd.h>

#include "platform/fileio.h"
#include "platform/testhooks.h"
#include "platform/text16.h"

#ifdef VOK_TEST
long fileWriteFailAfter = -1;
long fileAccessCount;
#endif

// Room for any path the platform takes, in UTF-8.
constexpr size_t PathBytes = 4096;

long readFileStart(const char16_t* path, void* buffer, size_t size)
{
#ifdef VOK_TEST
    ++fileAccessCount;
#endif
    char name[PathBytes];
    if (!encodeUtf8(name, sizeof name, path)) return -1;
    FILE* f = std::fopen(name, "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_SET);
    size_t got = std::fread(buffer, 1, size, f);
    std::fclose(f);
    return static_cast<long>(got);
}

static bool writeAll(FILE* f, const void* data, size_t size)
{
    size_t wanted = size;
#ifdef VOK_TEST
    if (fileWriteFailAfter >= 0 && static_cast<size_t>(fileWriteFailAfter) < size)
        wanted = static_cast<size_t>(fileWriteFailAfter);
#endif
    if (std::fwrite(data, 1, wanted, f) != wanted) return false;
    if (wanted != size) return false;
    if (std::fflush(f) != 0) return false;
    return fsync(fileno(f)) == 0;
}

bool replaceFileContents(const char16_t* path, const void* data, size_t size)
{
#ifdef VOK_TEST
    ++fileAccessCount;
#endif
    if (!path || !path[0]) return false;
    char name[PathBytes], temp[PathBytes + 4];
    if (!encodeUtf8(name, sizeof name, path)) return false;
    std::snprintf(temp, sizeof temp, "%s.tmp", name);
    FILE* f = std::fopen(temp, "wb");
    if (!f) return false;
    bool written = writeAll(f, data, size);
    if (std::fclose(f) != 0) written = false;
    if (!written || std::rename(temp, name) != 0) {
        std::remove(temp);
        return false;
    }
    return true;
}
