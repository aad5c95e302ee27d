// Files for tests that write them or run tools on them: a temporary directory removed with
// everything in it, whole files read and written, a shell command's standard output.
#ifndef JEX_TEST_FILES_H
#define JEX_TEST_FILES_H

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "JEX_stdinc.h"

struct TempDir {
    TempDir()
    {
        std::string name = (std::filesystem::temp_directory_path() / "jex_test_XXXXXX").string();
        if (mkdtemp(name.data()))
            path = name;
    }
    ~TempDir()
    {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    bool ok() const { return !path.empty(); }
    std::string File(const std::string &name) const { return path + "/" + name; }
    std::string path;
};

inline std::vector<Uint8> ReadFile(const std::string &path)
{
    std::ifstream f(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::string &path, const std::vector<Uint8> &data)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char *>(data.data()), std::streamsize(data.size()));
}

// A shell command's standard output, or nullopt when it failed.
inline std::optional<std::string> RunCommand(const std::string &command)
{
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buf[4096];
    for (size_t got; (got = std::fread(buf, 1, sizeof(buf), pipe)) > 0;)
        out.append(buf, got);
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

#endif  // JEX_TEST_FILES_H
