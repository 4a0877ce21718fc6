// Runs the `qelv` program as users and scripts do.
#pragma once

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace qelv::test {

struct CliRun {
    int exitCode;
    std::string out;
    std::string err;
};

// Runs `program` with `args` (already quoted for the shell).
inline CliRun runProgram(const std::string& program, const std::string& args) {
    const TempDir dir;
    const auto errors = dir.path() / "stderr";
    const std::string command = program + " " + args + " 2>'" + errors.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {-1, {}, {}};
    }
    std::string out;
    std::array<char, 4096> buffer{};
    for (std::size_t n; (n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        out.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, readFile(errors)};
}

inline CliRun runQelv(const std::string& args) {
    return runProgram(QELV_BINARY, args);
}

}  // namespace qelv::test
