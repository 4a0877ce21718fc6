// Telemetry saved as files the user keeps: the route of one recording, or the telemetry of
// several recordings as one file each or merged into one, as GPX, KML or CSV (the documents
// `qelv telemetry` prints). Every file is written whole or not at all.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "storage/byte_source.h"
#include "storage/recording_catalogue.h"
#include "telemetry/telemetry_export.h"
#include "wyfs/wyfs.h"

namespace qelv::core {

enum class TelemetryFormat { Gpx, Kml, Csv };

// "gpx", "kml", "csv".
std::string_view extensionOf(TelemetryFormat format);

// Whether an existing file at `path` is a recording (one of the recorder's video files, .mp4
// or .avi in any case): an export never replaces one, whichever camera's it is.
bool isRecordingFile(const std::string& path);

// Where a recording's bytes are: a source already open (the card file playback reads), a
// file on an open WyFS card, or a file.
struct RecordingLocation {
    std::string path{};
    CardDeviceHandle* card = nullptr;
    std::string cardDir{};
    std::string cardName{};
    std::shared_ptr<ByteSource> source{};
};

// Where the bytes of a recording of the catalogue's current source are: a file, or a file
// of the catalogue's open WyFS card (valid while that card stays open).
RecordingLocation locationOf(RecordingCatalogue& catalogue, const RecordingEntry& entry);

// Every record of a recording (not only the first minute the viewer's store keeps), or why
// it cannot be read.
struct RecordingTelemetry {
    std::vector<ExportedRecord> records;
    // Empty when the recording was read; otherwise why not ("not an MP4 or AVI recording").
    std::string problem;
};
RecordingTelemetry readRecordingTelemetry(const RecordingLocation& where);

// One recording to export.
struct TelemetryRecording {
    std::string name;  // its file name ("20240131_120000_2CH_N_F.mp4")
    // When it started, in seconds on the recorder's clock: orders a merged export and places
    // its rows in a merged CSV.
    std::int64_t startSeconds = 0;
    RecordingLocation location{};
};

// The start of the recording named `fileName` from its date and time fields, or `fallback`
// when the name holds none.
std::int64_t recordingStartSeconds(std::string_view fileName, std::int64_t fallback);

// The document of one recording, as `qelv telemetry --format` prints it; `name` names the
// track.
std::string telemetryDocument(TelemetryFormat format, const std::vector<ExportedRecord>& records,
                              const std::string& name);

struct ReadRecording {
    std::int64_t startSeconds = 0;
    std::vector<ExportedRecord> records;
};
// Several recordings as one document, in the order of their start times (recordings that
// start together keep their order): GPX one track, KML one line of every fix, CSV the same
// columns with each row's time counted in seconds from the first recording's start (and each
// recording's G-sensor values in its own scale).
std::string mergedDocument(TelemetryFormat format, std::vector<ReadRecording> recordings,
                           const std::string& name);

// "20240131_120000_2CH_N_F.gpx": the recording's name with the format's extension, anything
// that cannot stand in a file name replaced by "_".
std::string exportFileName(std::string_view recordingName, TelemetryFormat format);

// What an export did; every list in the order of the recordings given.
struct ExportOutcome {
    std::vector<std::string> written;  // the files written
    // Recordings not read: name and why.
    std::vector<std::pair<std::string, std::string>> unreadable;
    // Files not written: path and why.
    std::vector<std::pair<std::string, std::string>> failed;
    // Recordings read without a position for a GPX or KML file (their track is empty).
    std::vector<std::string> withoutPosition;
};

// The recordings as the one file `path`, which replaces a file of that name (the user was
// asked). Its track is named after the file, or after the recording when there is one. Recordings
// that cannot be read are left out; with none readable nothing is written. A recording's own file
// is never the target.
ExportOutcome exportMerged(const std::vector<TelemetryRecording>& recordings,
                           TelemetryFormat format, const std::string& path);
// One file per recording in `folder`, named by exportFileName; a name already taken becomes
// "name (2).gpx", "name (3).gpx" and so on: no file is overwritten.
ExportOutcome exportEach(const std::vector<TelemetryRecording>& recordings, TelemetryFormat format,
                         const std::string& folder);

// What the user is told of an outcome's troubles: a line for each file not written and each
// recording not read or without a position, the first kMostTroubleLines of them and how many
// more (a box of a thousand lines would put its button off the screen); empty when there were
// none.
inline constexpr std::size_t kMostTroubleLines = 10;
std::string troublesText(const ExportOutcome& outcome);

}  // namespace qelv::core
