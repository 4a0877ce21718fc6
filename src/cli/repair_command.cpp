#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "storage/index_rebuild.h"
#include "storage/recording_name.h"
#include "storage/size_class.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv repair [--camera front|rear] [--size-class 0-3] FILE...\n"
    "Writes the missing index of unfinished recordings in place. The camera and the size\n"
    "class default to what the recording's name and size say.\n"
    "Exit status: 0 when every file was rebuilt or intact, 1 when any failed, 2 for a usage\n"
    "error.\n";

std::string result(const std::string& file, std::string_view outcome, const std::string& reason) {
    return JsonObject().add("file", file).add("result", outcome).add("reason", reason).str();
}

}  // namespace

// Exit status: 0 when every file was rebuilt or intact, 1 when any failed, 2 for usage errors.
int runRepairCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions options;
    std::optional<core::CameraChannel> camera;
    std::optional<int> sizeClass;
    try {
        options = parseOptions(args, {"--camera", "--size-class"});
        if (const auto name = options.value("--camera")) {
            if (*name != "front" && *name != "rear") {
                throw UsageError("--camera is front or rear");
            }
            camera = *name == "front" ? core::CameraChannel::Front : core::CameraChannel::Rear;
        }
        if (options.value("--size-class")) {
            sizeClass = static_cast<int>(options.integer("--size-class", 0, 0, 3));
        }
        if (!options.help && options.positional.empty()) {
            throw UsageError("no file given");
        }
    } catch (const UsageError& e) {
        err << "qelv repair: " << e.what() << '\n' << kUsage;
        return 2;
    }
    if (options.help) {
        out << kUsage;
        return 0;
    }

    int exitCode = 0;
    for (const std::string& file : options.positional) {
        if (::access(file.c_str(), F_OK) != 0) {
            out << result(file, "failed", "cannot open: " + std::string(std::strerror(errno)))
                << '\n';
            exitCode = 1;
            continue;
        }
        const std::string fileName = std::filesystem::path(file).filename().string();
        const core::RecordingName name = core::parseRecordingName(fileName);
        const core::CameraChannel fileCamera = camera.value_or(name.camera);
        if (fileCamera == core::CameraChannel::None) {
            out << result(file, "failed", "the name says no camera; give --camera") << '\n';
            exitCode = 1;
            continue;
        }
        int fileClass = 0;
        if (sizeClass) {
            fileClass = *sizeClass;
        } else if (fileCamera == core::CameraChannel::Rear) {
            std::error_code error;
            const auto bytes = std::filesystem::file_size(file, error);
            if (!name.listCategory && !error) {
                out << result(file, "failed", "the name says no category; give --size-class")
                    << '\n';
                exitCode = 1;
                continue;
            }
            fileClass = error ? 0 : core::sizeClassOf(*name.listCategory, bytes / 1024);
        }
        const core::RebuildResult rebuilt = core::rebuildIndex(file, fileCamera, fileClass);
        static constexpr std::string_view kOutcomes[] = {"rebuilt", "intact", "failed"};
        out << result(file, kOutcomes[static_cast<int>(rebuilt.outcome)], rebuilt.reason) << '\n';
        if (rebuilt.outcome == core::RebuildOutcome::Failed) {
            exitCode = 1;
        }
    }
    return exitCode;
}

}  // namespace qelv::cli
