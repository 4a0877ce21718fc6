#include "cli/options.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace qelv::cli {

std::optional<std::string> ParsedOptions::value(const std::string& name) const {
    const auto it = values.find(name);
    if (it == values.end()) {
        return std::nullopt;
    }
    return it->second;
}

long long ParsedOptions::integer(const std::string& name, long long fallback, long long min,
                                 long long max) const {
    const auto text = value(name);
    if (!text) {
        return fallback;
    }
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(text->c_str(), &end, 10);
    if (text->empty() || *end != '\0' || errno != 0 || v < min || v > max) {
        throw UsageError(name + " takes a whole number from " + std::to_string(min) + " to " +
                         std::to_string(max));
    }
    return v;
}

double ParsedOptions::number(const std::string& name, double fallback, double min,
                             double max) const {
    const auto text = value(name);
    if (!text) {
        return fallback;
    }
    char* end = nullptr;
    const double v = std::strtod(text->c_str(), &end);
    if (text->empty() || *end != '\0' || !(v >= min && v <= max)) {
        // "0.05 to 8", not "0.050000 to 8.000000".
        const auto shortest = [](double bound) {
            std::array<char, 32> written{};
            std::snprintf(written.data(), written.size(), "%g", bound);
            return std::string(written.data());
        };
        throw UsageError(name + " takes a number from " + shortest(min) + " to " + shortest(max));
    }
    return v;
}

ParsedOptions parseOptions(const Arguments& args, const std::set<std::string>& valued,
                           const std::set<std::string>& flags) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            parsed.help = true;
        } else if (valued.contains(arg)) {
            if (i + 1 >= args.size()) {
                throw UsageError(arg + " needs a value");
            }
            parsed.values[arg] = args[++i];
        } else if (flags.contains(arg)) {
            parsed.flags.insert(arg);
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else {
            parsed.positional.push_back(arg);
        }
    }
    return parsed;
}

}  // namespace qelv::cli
