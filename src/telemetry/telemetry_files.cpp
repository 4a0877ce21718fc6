#include "telemetry/telemetry_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "common/file_write.h"
#include "common/posix_io.h"
#include "storage/card_file_source.h"
#include "storage/recording_name.h"
#include "telemetry/text_track_source.h"

namespace qelv::core {

namespace {

namespace fs = std::filesystem;

RecordingTelemetry readFrom(ByteSource& bytes) {
    TextTrackSource track(bytes);
    if (track.status() == TrackStatus::NotRecording) {
        return {{}, track.problem().empty() ? "not a readable recording" : track.problem()};
    }
    std::vector<ExportedRecord> records = readAllRecords(track);
    if (!bytes.error().empty()) {
        return {{}, "cannot read the file: " + bytes.error()};
    }
    return {std::move(records), {}};
}

RecordingTelemetry readFile(const std::string& path) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return {{},
                "cannot be opened: " + std::error_code(errno, std::generic_category()).message()};
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {{}, "not a file"};
    }
    FileSource source(fd.get(), static_cast<std::uint64_t>(info.st_size));
    return readFrom(source);
}

// The rows of a recording's CSV (no header) with `offsetS` added to each row's time.
std::string shiftedCsvRows(const std::vector<ExportedRecord>& records, std::int64_t offsetS) {
    const std::string csv = exportCsv(records);
    std::string out;
    std::size_t line = csv.find('\n') + 1;  // past the header
    while (line < csv.size()) {
        std::size_t end = csv.find('\n', line);
        end = end == std::string::npos ? csv.size() : end + 1;
        const std::string_view row(csv.data() + line, end - line);
        const std::size_t comma = row.find(',');
        std::int64_t seconds = 0;
        const auto parsed = std::from_chars(row.data(), row.data() + comma, seconds);
        if (comma != std::string_view::npos && parsed.ec == std::errc() &&
            parsed.ptr == row.data() + comma) {
            out += std::to_string(seconds + offsetS);
            out += row.substr(comma);
        } else {
            out += row;
        }
        line = end;
    }
    return out;
}

bool hasPosition(const std::vector<ExportedRecord>& records) {
    return !mappableRoute(records).empty();
}

bool isOneOf(const std::string& path, const std::vector<TelemetryRecording>& recordings) {
    std::error_code error;
    return std::any_of(recordings.begin(), recordings.end(), [&](const TelemetryRecording& r) {
        return !r.location.path.empty() && fs::equivalent(r.location.path, path, error);
    });
}

}  // namespace

bool isRecordingFile(const std::string& path) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(path, error))) {
        return false;
    }
    std::string extension = fs::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".mp4" || extension == ".avi";
}

std::string_view extensionOf(TelemetryFormat format) {
    switch (format) {
        case TelemetryFormat::Gpx:
            return "gpx";
        case TelemetryFormat::Kml:
            return "kml";
        case TelemetryFormat::Csv:
            break;
    }
    return "csv";
}

RecordingLocation locationOf(RecordingCatalogue& catalogue, const RecordingEntry& entry) {
    RecordingLocation where;
    if (catalogue.currentKind() == SourceKind::WyfsDrive) {
        const RecordingFolder* folder = catalogue.folderAt(entry.folderIndex);
        where.card = catalogue.cardDevice();
        where.cardDir = folder != nullptr ? folder->cardDirName : std::string();
        where.cardName = entry.cardName;
    } else {
        where.path = entry.path;
    }
    return where;
}

RecordingTelemetry readRecordingTelemetry(const RecordingLocation& where) {
    if (where.source) {
        return readFrom(*where.source);
    }
    if (where.card != nullptr) {
        CardFileSource source(where.card, where.cardDir, where.cardName);
        if (!source.valid()) {
            return {{}, "not found on the card"};
        }
        return readFrom(source);
    }
    if (where.path.empty()) {
        return {{}, "no file"};
    }
    return readFile(where.path);
}

std::int64_t recordingStartSeconds(std::string_view fileName, std::int64_t fallback) {
    return startSecondsOf(fileName).value_or(fallback);
}

std::string telemetryDocument(TelemetryFormat format, const std::vector<ExportedRecord>& records,
                              const std::string& name) {
    switch (format) {
        case TelemetryFormat::Gpx:
            return exportGpx(records, name);
        case TelemetryFormat::Kml:
            return exportKml(records, name);
        case TelemetryFormat::Csv:
            break;
    }
    return exportCsv(records);
}

std::string mergedDocument(TelemetryFormat format, std::vector<ReadRecording> recordings,
                           const std::string& name) {
    std::stable_sort(recordings.begin(), recordings.end(),
                     [](const ReadRecording& a, const ReadRecording& b) {
                         return a.startSeconds < b.startSeconds;
                     });
    if (format != TelemetryFormat::Csv) {
        std::vector<ExportedRecord> all;
        for (const ReadRecording& r : recordings) {
            all.insert(all.end(), r.records.begin(), r.records.end());
        }
        return telemetryDocument(format, all, name);
    }
    // Each recording's rows in its own scale, its times moved by its start.
    const std::string csv = exportCsv({});
    std::string out = csv.substr(0, csv.find('\n') + 1);
    for (const ReadRecording& r : recordings) {
        out += shiftedCsvRows(r.records, r.startSeconds - recordings.front().startSeconds);
    }
    return out;
}

std::string exportFileName(std::string_view recordingName, TelemetryFormat format) {
    std::string stem(recordingName.substr(0, recordingName.rfind('.')));
    for (char& c : stem) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '/' || c == '\\' || byte < 0x20 || byte == 0x7F) {
            c = '_';
        }
    }
    if (stem.empty() || stem == "." || stem == "..") {
        stem = "recording";
    }
    return stem + "." + std::string(extensionOf(format));
}

namespace {

// A recording's records for an export; nothing, with the reason in `outcome`, when it cannot
// be read. One without a position is noted for the formats that draw a track.
std::optional<std::vector<ExportedRecord>> readForExport(const TelemetryRecording& r,
                                                         TelemetryFormat format,
                                                         ExportOutcome& outcome) {
    RecordingTelemetry telemetry = readRecordingTelemetry(r.location);
    if (!telemetry.problem.empty()) {
        outcome.unreadable.emplace_back(r.name, telemetry.problem);
        return std::nullopt;
    }
    if (format != TelemetryFormat::Csv && !hasPosition(telemetry.records)) {
        outcome.withoutPosition.push_back(r.name);
    }
    return std::move(telemetry.records);
}

}  // namespace

ExportOutcome exportMerged(const std::vector<TelemetryRecording>& recordings,
                           TelemetryFormat format, const std::string& path) {
    ExportOutcome outcome;
    if (isOneOf(path, recordings) || isRecordingFile(path)) {
        outcome.failed.emplace_back(path, "it is one of the recordings");
        return outcome;
    }
    std::vector<ReadRecording> read;
    std::string name = fs::path(path).stem().string();
    for (const TelemetryRecording& r : recordings) {
        std::optional<std::vector<ExportedRecord>> records = readForExport(r, format, outcome);
        if (!records) {
            continue;
        }
        read.push_back({r.startSeconds, std::move(*records)});
        // A single recording's track is named after it, as `qelv telemetry` names it.
        if (recordings.size() == 1) {
            name = r.name;
        }
    }
    if (read.empty()) {
        return outcome;
    }
    const FileWriteResult result =
        writeFileSafely(path, mergedDocument(format, std::move(read), name), ExistingFile::Replace);
    if (result.ok) {
        outcome.written.push_back(path);
    } else {
        outcome.failed.emplace_back(path, result.error);
    }
    return outcome;
}

ExportOutcome exportEach(const std::vector<TelemetryRecording>& recordings, TelemetryFormat format,
                         const std::string& folder) {
    constexpr int kMostNumbers = 999;
    ExportOutcome outcome;
    for (const TelemetryRecording& r : recordings) {
        const std::optional<std::vector<ExportedRecord>> records =
            readForExport(r, format, outcome);
        if (!records) {
            continue;
        }
        const std::string document = telemetryDocument(format, *records, r.name);
        const fs::path first = fs::path(folder) / exportFileName(r.name, format);
        for (int number = 1; number <= kMostNumbers; ++number) {
            fs::path target = first;
            if (number > 1) {
                target.replace_filename(first.stem().string() + " (" + std::to_string(number) +
                                        ")" + first.extension().string());
            }
            const FileWriteResult result =
                writeFileSafely(target.string(), document, ExistingFile::Keep);
            if (result.ok) {
                outcome.written.push_back(target.string());
            } else if (!result.existed || number == kMostNumbers) {
                outcome.failed.emplace_back(target.string(), result.error);
            } else {
                continue;
            }
            break;
        }
    }
    return outcome;
}

std::string troublesText(const ExportOutcome& outcome) {
    std::vector<std::string> lines;
    for (const auto& [path, why] : outcome.failed) {
        lines.push_back("Cannot save " + path + ": " + why + ".");
    }
    for (const auto& [name, why] : outcome.unreadable) {
        lines.push_back("Cannot read " + name + ": " + why + ".");
    }
    for (const std::string& name : outcome.withoutPosition) {
        lines.push_back(name + " holds no GPS position: its track is empty.");
    }
    std::string text;
    for (std::size_t k = 0; k < lines.size(); ++k) {
        if (k == kMostTroubleLines && lines.size() > kMostTroubleLines + 1) {
            text += "... and " + std::to_string(lines.size() - k) + " more.\n";
            break;
        }
        text += lines[k] + "\n";
    }
    if (!text.empty() && outcome.written.empty()) {
        text += "No file was written.\n";
    }
    return text;
}

}  // namespace qelv::core
