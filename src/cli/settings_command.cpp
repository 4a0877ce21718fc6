#include <charconv>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "tools/recorder_settings.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv settings [--quiet] CARD_ROOT [KEY=VALUE ...]\n"
    "Prints the recorder's settings (CARD_ROOT/SETUP/setup.ini) as JSON. KEY=VALUE sets a\n"
    "setting to one of the values the recorder offers for it and saves the file (created\n"
    "with the recorder's defaults when missing); nothing is written when one is refused.\n"
    "Standard output holds the JSON alone. Standard error names the file's lines whose key\n"
    "the recorder does not know (\"INI ITEM <KEY> is not registered! Ignore it.\") and\n"
    "echoes every line a save writes; --quiet leaves those lines out.\n";

struct Assignment {
    std::string key;
    std::int32_t value;
};

std::optional<Assignment> parseAssignment(const std::string& text) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        return std::nullopt;
    }
    const std::string_view value(text.data() + equals + 1, text.size() - equals - 1);
    std::int32_t number = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
    if (value.empty() || error != std::errc() || end != value.data() + value.size()) {
        return std::nullopt;
    }
    return Assignment{text.substr(0, equals), number};
}

}  // namespace

int runSettingsCommand(const Arguments& given, std::ostream& out, std::ostream& err) {
    Arguments args;
    bool quiet = false;
    for (const std::string& arg : given) {
        if (arg == "--quiet") {
            quiet = true;
        } else {
            args.push_back(arg);
        }
    }
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? 2 : 0;
    }
    const std::filesystem::path root(args[0]);
    std::error_code error;
    if (!std::filesystem::is_directory(root, error)) {
        err << "qelv settings: " << root.string() << " is not a folder\n";
        return 1;
    }
    std::vector<Assignment> assignments;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const auto assignment = parseAssignment(args[i]);
        if (!assignment) {
            err << "qelv settings: " << args[i] << " is no KEY=VALUE with a whole number\n";
            return 2;
        }
        assignments.push_back(*assignment);
    }
    // The store's console lines (unknown keys, the lines a save writes) stay off standard
    // output, which scripts read as one JSON object.
    std::ostream silent(nullptr);
    core::RecorderSettingsFile settings(quiet ? silent : err);
    const bool writing = !assignments.empty();
    // A missing file reads as the recorder's defaults; it is written only when every
    // assignment was accepted.
    const std::string problem = settings.open(root);
    const bool existed = settings.existed();
    if (!problem.empty()) {
        err << "qelv settings: " << problem << '\n';
        return 1;
    }
    for (const Assignment& assignment : assignments) {
        if (const std::string refused = settings.set(assignment.key, assignment.value);
            !refused.empty()) {
            err << "qelv settings: " << refused << "; nothing was written\n";
            return 1;
        }
    }
    if (writing) {
        if (const std::string failed = settings.save(); !failed.empty()) {
            err << "qelv settings: " << failed << '\n';
            return 1;
        }
    }
    JsonObject values;
    for (const core::RecorderSettingKey& key : core::kRecorderSettingKeys) {
        values.add(key.name, settings.value(key.name).value_or(0));
    }
    out << JsonObject()
               .add("file", settings.path().string())
               .add("existed", existed)
               .add("saved", writing)
               .add("timeZone",
                    std::string(
                        core::kTimeZoneNames[static_cast<std::size_t>(settings.shownTimeZone())]))
               .addRaw("settings", values.str())
               .str()
        << '\n';
    return 0;
}

}  // namespace qelv::cli
