#include <cstdint>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "storage/recording_name.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage = "usage: qelv name PATH...\n";

std::optional<std::int64_t> categoryValue(std::optional<core::RecordingCategory> category) {
    if (!category) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(*category);
}

std::string describe(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string_view fileName = slash == std::string::npos
                                          ? std::string_view(path)
                                          : std::string_view(path).substr(slash + 1);
    const core::RecordingName name = core::parseRecordingName(fileName);
    const core::CompanionPaths companions = core::companionPathsOf(path);
    return JsonObject()
        .add("path", path)
        .add("date", name.dateText())
        .add("time", name.timeText())
        .add("channels", name.channels)
        .add("category", categoryValue(name.category))
        .add("listCategory", categoryValue(name.listCategory))
        .add("typeText", name.typeText())
        .add("camera", static_cast<std::int32_t>(name.camera))
        .addRaw("companionPaths", jsonArray({jsonQuote(companions.second.value_or("")),
                                             jsonQuote(companions.third.value_or(""))}))
        .str();
}

}  // namespace

int runNameCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << kUsage;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        out << kUsage;
        return 0;
    }
    for (const std::string& path : args) {
        out << describe(path) << '\n';
    }
    return 0;
}

}  // namespace qelv::cli
