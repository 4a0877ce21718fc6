// What a recording's pipeline reports on its bus, taken apart on the streaming thread that
// posts it: the preroll and seek waits, errors with the branch they came from, and the frames
// each channel lost to lateness.
//
// Every element of the graph carries the branch it belongs to: 0 to 2 the camera channels
// (their source, parser and video chain), kSoundBranch the front channel's sound chain. An
// error or a QoS report is charged to the branch of the element that posted it (or of its
// nearest tagged parent).
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

typedef struct _GstElement GstElement;
typedef struct _GstObject GstObject;

namespace qelv::media {

inline constexpr int kSoundBranch = 3;
inline constexpr int kNoBranch = -1;

// A bus message the engine acts on, handed over from a streaming thread.
struct BusEvent {
    enum class Kind { EndOfStream, Error };
    Kind kind = Kind::EndOfStream;
    int branch = kNoBranch;  // for errors: the branch whose element failed
    std::string text;        // for errors: the element's message
};

void tagBranch(GstElement* element, int branch);
// The branch of `object` or of its nearest tagged parent; kNoBranch when none is tagged.
int branchOf(GstObject* object);

namespace detail {

// Shared between the graph (engine thread) and the bus's sync handler (streaming threads);
// every field is guarded by `lock`.
struct GraphBus {
    std::uint64_t generation = 0;
    std::function<void(std::uint64_t, const BusEvent&)>* onEvent = nullptr;
    bool forward = false;  // events reach the engine only once the recording is cued
    std::mutex lock;
    std::condition_variable changed;
    bool asyncDone = false;
    bool error = false;
    int errorBranch = kNoBranch;  // the first error since the last reset
    std::string errorText;
    int parsersAnnouncing = 0;  // parsers that have not said "no more pads" yet
    // Frames dropped because they were late, per channel: the decoder's QoS drops and the
    // sink's, accumulated from each element's running counts (which restart after a seek).
    std::array<std::int64_t, 3> lost{};
    std::map<const void*, std::uint64_t> lastDropped;
};

// Hands the pipeline's bus messages to `bus` on the posting thread: records what the graph
// waits for, accounts losses, and forwards end-of-stream and errors to the engine.
void watchBus(GstElement* pipeline, GraphBus* bus);
void unwatchBus(GstElement* pipeline);

}  // namespace detail

}  // namespace qelv::media
