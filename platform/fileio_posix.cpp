// Native file seam: UTF-16 paths become UTF-8, the image is replaced with rename.
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/fileio.h"
#include "platform/testhooks.h"
#include "platform/text16.h"

// Room for any path the platform takes, in UTF-8.
constexpr size_t PathBytes = 4096;

#ifdef VOK_TEST
long fileWriteFailAfter = -1;
std::atomic<long> fileAccessCount{0};
std::atomic<const char16_t*> fileReadsRefusedFor{nullptr};

static bool readRefused(const char16_t* path)
{
    const char16_t* end = fileReadsRefusedFor.load();
    if (!end) return false;
    size_t n = length16(path, PathBytes), k = length16(end, PathBytes);
    for (size_t i = 0; i < k; ++i)
        if (k > n || path[n - k + i] != end[i]) return false;
    return k <= n;
}
#endif


long readFileStart(const char16_t* path, void* buffer, size_t size)
{
#ifdef VOK_TEST
    ++fileAccessCount;
#endif
    char name[PathBytes];
    if (!encodeUtf8(name, sizeof name, path)) return FileMissing;
    // Plain descriptors: a read at attach opens three files, and a stream's own
    // buffer would only be copied through.
    // Without the access time's update where the files are ours (a read at attach
    // opens three); a file of another owner refuses that, and is opened plainly.
    int f = open(name, O_RDONLY | O_CLOEXEC | O_NOATIME);
    if (f < 0 && errno == EPERM) f = open(name, O_RDONLY | O_CLOEXEC);
    if (f < 0) return errno == ENOENT || errno == ENOTDIR ? FileMissing : FileUnreadable;
#ifdef VOK_TEST
    if (readRefused(path)) {
        close(f);
        return FileUnreadable;
    }
#endif
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(f, static_cast<char*>(buffer) + got, size - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(f);
            return FileUnreadable;
        }
        if (n == 0) break;
        got += size_t(n);
        // Linux reads a local file whole up to its end (only a fatal signal cuts
        // such a read short, and the process ends then): a short read is the end,
        // with no further call to see it.
        if (got < size) break;
    }
    close(f);
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
