// Writes recordings exactly as the recorder does, for tests, benchmarks and the demo card.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "simulator/drive_script.h"
#include "simulator/recording_layout.h"
#include "storage/mp4_format.h"
#include "storage/recording_types.h"

namespace qelv::sim {

struct RecordingRequest {
    std::filesystem::path cardRoot;  // files go to <root>/<NOR|EVT|MOT|USR>/<FRONT|REAR>/
    LocalTime start;
    int seconds = 60;
    int channels = 2;  // 1 to 3
    core::RecordingCategory category = core::RecordingCategory::Normal;
    bool complete = true;
    std::uint64_t seed = 1;
    // 1.0 writes the recorder's bit rates: about 70 MB a minute front and 36 MB rear for
    // normal recordings, half that for the others. Tests use less to go faster.
    double bitrateScale = 1.0;
    std::uint64_t tailBytes = 512 * 1024;  // zeros the recorder preallocated (unfinished)
    // The front camera's sound stops after this many seconds (a microphone that failed); 0
    // leaves its sound track empty. Negative: sound for as long as the pictures run.
    double soundSeconds = -1;
    // The drive the telemetry records: the plain one, or one with noise and planted incidents.
    DriveOptions drive{};
    // Every recording made with this set shows the same pictures, encoded once per camera,
    // size, length and bit rate in this process: a card of hundreds of recordings (for a
    // benchmark of what reads their telemetry) is made in minutes instead of hours.
    bool samePictures = false;
    std::function<void(const std::string&)> progress;
};

// One file of a simulated recording, with everything a test needs to check a rebuild.
struct SimulatedFile {
    int channel;  // 1 front, 2 rear, 3 third
    core::CameraChannel camera;
    std::filesystem::path path;
    const core::mp4::VideoFormat* video;
    int sizeClass;           // of the file as written
    RecordingLayout layout;  // every sample's bytes and offsets
    WrittenFile file;
    std::vector<std::uint8_t> moov;  // the movie box of the complete file
};

struct SimulatedRecording {
    std::vector<SimulatedFile> files;  // front first
    int frames = 0;
    int audioFrames = 0;
    int records = 0;
    std::vector<PlantedIncident> incidents;  // what request.drive planted, in time order
};

// "20240131_235958_2CH_N_F.mp4" and its companions ("R1", "R2").
std::string recordingFileName(const LocalTime& start, int channels,
                              core::RecordingCategory category, std::string_view camera);
// "NOR", "EVT", "MOT", "USR".
std::string_view categoryFolder(core::RecordingCategory category);

SimulatedRecording simulateRecording(const RecordingRequest& request);

// A recording as a WyFS card holds it: one AVI file with every camera, the sound and the
// telemetry ("20240131_120000_2CH_N_F.avi"). `request.cardRoot` and `complete` are not used.
struct SimulatedCardFile {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::int32_t time;  // recording start, seconds since 1970 UTC
    int frames = 0;
    int audioFrames = 0;
    int records = 0;
    std::vector<PlantedIncident> incidents;  // what request.drive planted, in time order
};
SimulatedCardFile simulateCardRecording(const RecordingRequest& request);

}  // namespace qelv::sim
