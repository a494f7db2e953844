#include "testutil.h"

#include <cstdlib>
#include <filesystem>

ScratchFolder::ScratchFolder()
{
    char pattern[] = "/tmp/vokcurrency-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made) std::abort();
    dir = made;
}

ScratchFolder::~ScratchFolder() { std::filesystem::remove_all(dir); }

std::vector<unsigned char> readBytes(const std::string& path)
{
    std::vector<unsigned char> out;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return out;
    unsigned char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.insert(out.end(), buf, buf + n);
    std::fclose(f);
    return out;
}

void writeBytes(const std::string& path, const void* data, size_t size)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }
