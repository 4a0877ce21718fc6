// Option parsing shared by the subcommands: "--name value" pairs and positional arguments.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/commands.h"

namespace qelv::cli {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ParsedOptions {
    std::map<std::string, std::string> values;  // "--seconds" -> "10"
    std::set<std::string> flags;                // "--no-repair"
    std::vector<std::string> positional;
    bool help = false;

    std::optional<std::string> value(const std::string& name) const;
    // The option as an integer in [min, max], or `fallback` when absent; throws UsageError.
    long long integer(const std::string& name, long long fallback, long long min,
                      long long max) const;
    double number(const std::string& name, double fallback, double min, double max) const;
};

// `valued` lists the options that take a value, `flags` those that do not. Throws UsageError
// for an unknown option or a missing value.
ParsedOptions parseOptions(const Arguments& args, const std::set<std::string>& valued,
                           const std::set<std::string>& flags = {});

}  // namespace qelv::cli
