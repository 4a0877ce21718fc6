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
    "Prints every telemetry record of a recording: GPS fixes and G-sensor samples.\n"
    "Exit status: 0 with the records (empty lists for a recording without telemetry), 1 when\n"
    "the file is not a readable recording (the reason goes to standard error), 2 for a usage\n"
    "error.\n";

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

// Reads every record of `bytes`; false (with the reason on `err`) when the file is no
// readable recording or a read failed on the way.
bool readRecording(core::ByteSource& bytes, const std::string& file,
                   std::vector<core::ExportedRecord>& records, std::ostream& err) {
    core::TextTrackSource track(bytes);
    if (track.status() == core::TrackStatus::NotRecording) {
        err << "qelv telemetry: " << file << ": " << track.problem() << '\n';
        return false;
    }
    records = core::readAllRecords(track);
    if (!bytes.error().empty()) {
        err << "qelv telemetry: " << file << ": cannot read the file: " << bytes.error() << '\n';
        return false;
    }
    return true;
}

}  // namespace

// Exit status: 0 with the records (none for a recording without telemetry), 1 when the file
// cannot be read as a recording (the reason goes to standard error), 2 for usage errors.
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
    bool ok = false;
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
            ok = readRecording(source, file, records, err);
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
        ok = readRecording(source, file, records, err);
        ::close(fd);
    }
    if (!ok) {
        return 1;
    }
    out << exportAs(format, records, name);
    return 0;
}

}  // namespace qelv::cli
