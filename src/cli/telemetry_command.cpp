#include <filesystem>

#include "cli/commands.h"
#include "cli/options.h"
#include "storage/card_file_source.h"
#include "telemetry/telemetry_export.h"
#include "wyfs/wyfs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv telemetry FILE [--format json|csv|gpx|kml]\n"
    "       qelv telemetry --wyfs IMAGE DIR/NAME [--format ...]\n"
    "Prints every telemetry record of a recording: GPS fixes and G-sensor samples.\n";

std::string exportAs(const std::string& format, const std::vector<core::ExportedRecord>& records,
                     const std::string& name) {
    if (format == "json") {
        return core::exportJson(records);
    }
    if (format == "csv") {
        return core::exportCsv(records);
    }
    if (format == "gpx") {
        return core::exportGpx(records, name);
    }
    return core::exportKml(records, name);
}

}  // namespace

int runTelemetryCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions o;
    std::string format;
    try {
        o = parseOptions(args, {"--format", "--wyfs"});
        if (o.help) {
            out << kUsage;
            return 0;
        }
        format = o.value("--format").value_or("json");
        if (format != "json" && format != "csv" && format != "gpx" && format != "kml") {
            throw UsageError("--format is json, csv, gpx or kml");
        }
        if (o.positional.size() != 1) {
            throw UsageError("give one recording");
        }
    } catch (const UsageError& e) {
        err << "qelv telemetry: " << e.what() << '\n' << kUsage;
        return 2;
    }
    const std::string& file = o.positional[0];
    const std::string name = std::filesystem::path(file).filename().string();
    std::vector<core::ExportedRecord> records;
    if (const auto image = o.value("--wyfs")) {
        const std::size_t slash = file.find('/');
        CardDeviceHandle device{};
        if (slash == std::string::npos || QV_WyFS_Device_Open(image->c_str(), 130, &device) != 0) {
            err << "qelv telemetry: cannot open " << file << " on " << *image << '\n';
            return 1;
        }
        {
            core::CardFileSource source(&device, file.substr(0, slash), file.substr(slash + 1));
            if (!source.valid()) {
                QV_WyFS_Device_Close(&device);
                err << "qelv telemetry: no recording " << file << " on " << *image << '\n';
                return 1;
            }
            core::TextTrackSource track(source);
            records = core::readAllRecords(track);
        }
        QV_WyFS_Device_Close(&device);
    } else {
        const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        struct stat info {};
        if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            if (fd >= 0) {
                ::close(fd);
            }
            err << "qelv telemetry: cannot read " << file << '\n';
            return 1;
        }
        core::FileSource source(fd, static_cast<std::uint64_t>(info.st_size));
        core::TextTrackSource track(source);
        records = core::readAllRecords(track);
        ::close(fd);
    }
    out << exportAs(format, records, name);
    return 0;
}

}  // namespace qelv::cli
