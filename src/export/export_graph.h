// One attempt at an export: the pipeline that decodes the planned segments of every camera,
// composes them, burns in the overlay and writes the encoded clip to a file.
//
//   per segment and camera:  filesrc ! qtdemux ! queue ! h264parse ! avdec_h264
//                            ! videoconvertscale ! capsfilter(region size) -> compositor
//   per segment, the front camera's sound:
//                            filesrc ! qtdemux ! queue ! aacparse ! avdec_aac ! audioconvert
//                            ! audioresample ! capsfilter -> audiomixer
//   silence of the clip's length:  audiotestsrc ! capsfilter -> audiomixer
//   compositor ! capsfilter(clip size, 30/1) [overlay] ! queue ! x264enc ! mp4mux(fast start)
//   audiomixer ! audioconvert ! avenc_aac ! queue -> mp4mux ! filesink
//
// Every demuxer is cued with its own accurate seek to its segment before any picture flows;
// a later segment's pads are offset by where it starts in the clip, so the compositor and
// the mixer see one continuous stream. The sound has a demuxer of its own, cued to stop where
// the front file's sound does: a demuxer ends a stream only when all of its streams end, and
// the mixer and the muxer would wait for sound that never comes while the pictures go on.
// The silence under it carries the clip's sound on to the clip's end.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "export/clip_export.h"
#include "export/overlay_timeline.h"

typedef struct _GstElement GstElement;

namespace qelv::media {

// A camera of one segment: (segment index, channel 0 to 2); channel 3 is the segment's sound.
using SourceKey = std::pair<std::size_t, int>;
inline constexpr int kSoundChannel = 3;

// A camera whose place is shown black, with the text burnt into its region.
struct PlaceLabel {
    std::size_t segment;
    int channel;
    std::string text;
    std::int64_t fromNs = 0;  // where in the recording it starts; before the segment: with it
};

struct GraphOutcome {
    bool ok = false;
    bool cancelled = false;
    std::string error;
    // The source whose element failed, when one did (the attempt can then be made without it).
    std::optional<SourceKey> failed;
    std::int64_t frames = 0;
};

class ExportGraph {
public:
    ExportGraph(const ExportRequest& request, const SpanPlan& plan, const OverlayTimeline* overlay,
                std::vector<PlaceLabel> labels, std::set<SourceKey> leftOut, bool sound,
                std::string location, std::string indexLocation);
    ~ExportGraph();
    ExportGraph(const ExportGraph&) = delete;
    ExportGraph& operator=(const ExportGraph&) = delete;

    // Builds and runs the pipeline until the clip is written, an element fails or `cancel`
    // is set.
    GraphOutcome run(const std::atomic<bool>& cancel, const ClipExport::ProgressFn& progress);

    struct State;
    struct Links;

private:
    bool build();
    bool buildTail();
    bool addSilence();
    bool addSource(std::size_t segment, int channel);
    bool cue(const std::atomic<bool>& cancel);

    const ExportRequest& m_request;
    const SpanPlan& m_plan;
    const std::set<SourceKey> m_leftOut;
    const bool m_sound;
    const std::string m_location;
    const std::string m_indexLocation;  // the muxer's spool while it moves the index forward
    GstElement* m_pipeline = nullptr;
    GstElement* m_compositor = nullptr;
    GstElement* m_mixer = nullptr;
    std::unique_ptr<State> m_state;
    std::vector<std::unique_ptr<Links>> m_links;
    // A demuxer is cued to [startNs, stopNs) of its file.
    struct Cue {
        GstElement* demuxer;
        std::int64_t startNs;
        std::int64_t stopNs;
    };
    std::vector<Cue> m_demuxers;
    std::string m_error;
};

}  // namespace qelv::media
