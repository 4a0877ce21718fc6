// Simulator recordings the widget tests play, made once per test program: encoding is what
// takes the time, and no test changes the files.
#pragma once

#include <array>
#include <map>
#include <string>

#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"

namespace qelv::test {

// A short normal recording of `channels` cameras (1 to 3), front file first.
inline const sim::SimulatedRecording& sharedRecording(int channels) {
    static const TempDir card;
    static std::map<int, sim::SimulatedRecording> made;
    auto it = made.find(channels);
    if (it == made.end()) {
        sim::RecordingRequest request;
        // A folder per camera count, so that no recording's folder holds another's files.
        request.cardRoot = card.path() / std::to_string(channels);
        request.seconds = 2;
        request.channels = channels;
        request.seed = 7;
        request.bitrateScale = 0.05;
        it = made.emplace(channels, sim::simulateRecording(request)).first;
    }
    return it->second;
}

// The files of `recording` as the engine opens them (empty for cameras it does not have).
inline std::array<std::string, 3> pathsOf(const sim::SimulatedRecording& recording) {
    std::array<std::string, 3> paths;
    for (std::size_t k = 0; k < recording.files.size() && k < paths.size(); ++k) {
        paths[k] = recording.files[k].path.string();
    }
    return paths;
}

}  // namespace qelv::test
