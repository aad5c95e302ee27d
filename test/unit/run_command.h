// A shell command's output for tests that check what outside tools see (ImageMagick, xdotool).
#ifndef JEX_RUN_COMMAND_H
#define JEX_RUN_COMMAND_H

#include <cstdio>
#include <optional>
#include <string>

namespace jextest {

// A shell command's standard output, or nullopt when it failed.
inline std::optional<std::string> RunCommand(const std::string &command)
{
    FILE *pipe = popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string out;
    char buf[4096];
    for (size_t got; (got = fread(buf, 1, sizeof(buf), pipe)) > 0;)
        out.append(buf, got);
    return pclose(pipe) == 0 ? std::optional(out) : std::nullopt;
}

}  // namespace jextest

#endif  // JEX_RUN_COMMAND_H
