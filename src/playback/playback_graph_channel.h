// One camera channel of a recording's graph: its elements, the surface it draws into and
// where, its last picture and how many it showed. Private to the graph's implementation.
#pragma once

#include <memory>
#include <mutex>

#include "playback/decoder_settings.h"
#include "playback/playback_graph.h"
#include "playback/video_surface.h"

namespace qelv::media {

// Elements are set on the thread that links the branch and read on the engine's thread;
// surface, destination, last and shown are guarded by `lock` (the sink's streaming thread
// reads them).
struct PlaybackGraph::Channel {
    GstElement* head = nullptr;  // the chain's first element, where an end can be sent in
    GstElement* decoder = nullptr;
    GstElement* balance = nullptr;
    GstElement* flip = nullptr;
    GstElement* sink = nullptr;
    VideoSurface* surface = nullptr;
    Rect destination;
    std::shared_ptr<const VideoFrame> last;
    DecoderSettings settings;
    std::int64_t shown = 0;
    bool linked = false;
    mutable std::mutex lock;

    // Forgets the elements of a pipeline that was destroyed; keeps surface and settings.
    void forgetElements() {
        const std::lock_guard guard(lock);
        head = decoder = balance = flip = sink = nullptr;
        last.reset();
        shown = 0;
        linked = false;
    }
};

}  // namespace qelv::media
