// Native file seam: UTF-16 paths become UTF-8, the image is replaced with rename.
#include <cstdio>
#include <string>
#include <unistd.h>

#include "platform/fileio.h"
#include "platform/text16.h"

long fileWriteFailAfter = -1;
long fileAccessCount;

long readFileStart(const char16_t* path, void* buffer, size_t size)
{
    ++fileAccessCount;
    std::string name = toUtf8(path);
    FILE* f = std::fopen(name.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_SET);
    size_t got = std::fread(buffer, 1, size, f);
    std::fclose(f);
    return static_cast<long>(got);
}

static bool writeAll(FILE* f, const void* data, size_t size)
{
    size_t wanted = size;
    if (fileWriteFailAfter >= 0 && static_cast<size_t>(fileWriteFailAfter) < size)
        wanted = static_cast<size_t>(fileWriteFailAfter);
    if (std::fwrite(data, 1, wanted, f) != wanted) return false;
    if (wanted != size) return false;
    if (std::fflush(f) != 0) return false;
    return fsync(fileno(f)) == 0;
}

bool replaceFileContents(const char16_t* path, const void* data, size_t size)
{
    ++fileAccessCount;
    if (!path || !path[0]) return false;
    std::string name = toUtf8(path);
    std::string temp = name + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool written = writeAll(f, data, size);
    if (std::fclose(f) != 0) written = false;
    if (!written || std::rename(temp.c_str(), name.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}
