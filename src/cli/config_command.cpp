#include <cstdint>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "common/data_files.h"
#include "config/config_store.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage = "usage: qelv config [FILE]\n";

std::string describe(const core::ConfigStore& config, bool loaded) {
    std::vector<std::string> dirs;
    for (const core::FolderEntry& folder : config.folders()) {
        dirs.push_back(JsonObject()
                           .add("category", static_cast<std::int32_t>(folder.category))
                           .add("name", folder.name)
                           .add("wyfsp", folder.wyfsp)
                           .str());
    }
    std::vector<std::string> extensions;
    for (const std::string& extension : config.extensions()) {
        extensions.push_back(jsonQuote(extension));
    }
    std::vector<std::string> strings;
    for (const auto& translation : config.strings().translations()) {
        strings.push_back(JsonObject()
                              .add("id", translation.id)
                              .add("language", translation.language)
                              .add("text", translation.text)
                              .str());
    }
    return JsonObject()
        .add("loaded", loaded)
        .add("language", config.language())
        .addRaw("dirs", jsonArray(dirs))
        .addRaw("extensions", jsonArray(extensions))
        .add("removal", config.removal())
        .add("desktop", config.desktop())
        .add("filetime", config.filetime())
        .add("addpos", config.addpos())
        .addRaw("strings", jsonArray(strings))
        .str();
}

}  // namespace

int runConfigCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.size() > 1 || (!args.empty() && (args[0] == "--help" || args[0] == "-h"))) {
        (args.size() > 1 ? err : out) << kUsage;
        return args.size() > 1 ? 2 : 0;
    }
    const std::filesystem::path path =
        args.empty() ? core::configurationFile() : std::filesystem::path(args[0]);
    core::ConfigStore config;
    // Like the viewer, report what was applied even when the file was refused.
    const bool loaded = config.load(path, err);
    out << describe(config, loaded) << '\n';
    return 0;
}

}  // namespace qelv::cli
