// What the harnesses share: a scratch folder for the inputs that must be files, and a way to
// stop with a message when a property fails (the fuzzer keeps the input).
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

// A private folder in memory-backed /dev/shm when there is one, made once per process.
inline const std::string& ScratchFolder()
{
    static const std::string folder = [] {
        std::string pattern = (access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + std::string("/quiva-fuzz-XXXXXX");
        if (!mkdtemp(pattern.data()))
            std::abort();
        return pattern;
    }();
    return folder;
}

inline std::string WriteScratch(const std::string& name, const void* data, size_t size)
{
    const std::string path = ScratchFolder() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        std::abort();
    return path;
}

// The corpus folder a seeds program is given as its one argument; exits on any other use.
inline std::string CorpusFolder(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s corpus-folder\n", argv[0]);
        std::exit(2);
    }
    return argv[1];
}

// Writes one seed of a corpus; false when it could not be written.
inline bool SaveSeed(const std::string& folder, const std::string& name, const std::string& bytes)
{
    FILE* f = std::fopen((folder + "/" + name).c_str(), "wb");
    const bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return f ? std::fclose(f) == 0 && ok : false;
}

// The whole of a file, "" when it cannot be read.
inline std::string ReadWhole(const std::string& path)
{
    std::string bytes;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;)
            bytes.append(buffer, n);
        std::fclose(f);
    }
    return bytes;
}

[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

inline void Check(bool ok, const char* what)
{
    if (!ok)
        Fail(what);
}

}  // namespace fuzz
