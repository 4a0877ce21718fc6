// What an export's pipeline and its streaming threads share, and the callbacks that run on
// those threads.
#pragma once

#include <gst/gst.h>
#include <gst/video/video.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "export/export_graph.h"
#include "export/frame_text.h"

namespace qelv::media {

// What the streaming threads and the export's thread share. Fields under `lock` unless
// they are atomic or set before the pipeline starts.
struct ExportGraph::State {
    std::mutex lock;
    std::condition_variable changed;
    bool eos = false;
    bool error = false;
    std::string errorText;
    int errorBranch = -1;  // the failed element's branch, -1 for none
    int demuxersAnnouncing = 0;
    std::vector<std::pair<GstPad*, gulong>> blocks;  // demuxer pads held until cued

    // Fixed once built.
    GstVideoInfo video{};
    const OverlayTimeline* overlay = nullptr;
    struct Label {
        Region region;
        std::int64_t fromNs, toNs;
        FittedText text;
    };
    std::vector<Label> labels;
    std::int64_t totalNs = 0;
    const ClipExport::ProgressFn* progress = nullptr;

    std::atomic<std::int64_t> frames{0};
};

// Where one demuxer's streams go.
struct ExportGraph::Links {
    State* state;
    GstElement* pipeline;
    int branch;
    Region region;
    std::int64_t offsetNs;
    std::int64_t leadNs;  // the front file's first-picture lead (0 for the other cameras)
    GstPad* videoTarget;  // a compositor pad, owned by the compositor, or null
    GstPad* soundTarget;  // an audio mixer pad, or null
    bool videoLinked = false;
    bool soundLinked = false;
};

namespace detail {

void onDemuxPad(GstElement* demuxer, GstPad* pad, gpointer links);
void onNoMorePads(GstElement* demuxer, gpointer links);
GstBusSyncReply onBusMessage(GstBus* bus, GstMessage* message, gpointer state);
GstPadProbeReturn onComposed(GstPad* pad, GstPadProbeInfo* info, gpointer state);
GstCaps* videoCaps(int width, int height, bool rate);
GstElement* capsFilter(GstCaps* caps);
// The raw sound the mixer takes.
GstCaps* soundCaps();

}  // namespace detail

}  // namespace qelv::media
