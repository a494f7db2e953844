// Shared helpers of the native tests: a scratch folder per test and raw file access.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/native/utf8.h"

class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    std::string file(const char* name) const { return dir + "/" + name; }
    std::u16string path16(const char* name) const { return fromUtf8(file(name)); }
    std::string dir;
};

std::vector<unsigned char> readBytes(const std::string& path);
void writeBytes(const std::string& path, const void* data, size_t size);
bool fileExists(const std::string& path);
