// One GStreamer pipeline for a recording: up to three video chains on one clock and the
// front channel's sound.
//
//   channel k:  source -> parser (qtdemux / avidemux, "QVStreamParseFilter[k]") -> queue ->
//               h264parse -> avdec_h264 ("FFDShow Decoderk") -> videobalance -> videoflip ->
//               videoconvert ("Color Space Convertor k") -> appsink ("Mixing Renderer9-k")
//   sound:      parser 1's audio pad -> queue -> aacparse -> avdec_aac ("CoreAAC Decoder") ->
//               audioconvert -> scaletempo -> volume -> audioconvert -> audioresample ->
//               the desktop's sink, or fakesink sync=true without a sound device
//               ("DirectSound Audio Renderer")
//
// Branches are made as the parsers announce their streams, so a file without sound or a
// missing rear file never stalls the preroll. A WyFS recording is one AVI file whose video
// streams 0 to 2 feed channels 1 to 3.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "playback/decoder_settings.h"
#include "playback/video_surface.h"
#include "storage/byte_source.h"

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstMessage GstMessage;
typedef struct _GstSample GstSample;

namespace qelv::media {

namespace detail {
struct GraphBus;
struct CardReader;
}  // namespace detail

// A recording to open: up to three files, or one file read through a byte source (a WyFS
// card's AVI).
struct RecordingSources {
    std::array<std::string, 3> paths;            // empty: no such channel
    std::shared_ptr<core::ByteSource> cardFile;  // when set, paths are not used
};

class PlaybackGraph {
public:
    // `onMessage` receives bus messages on a GStreamer thread, tagged with `generation`.
    PlaybackGraph(std::uint64_t generation,
                  std::function<void(std::uint64_t, GstMessage*)> onMessage);
    ~PlaybackGraph();
    PlaybackGraph(const PlaybackGraph&) = delete;
    PlaybackGraph& operator=(const PlaybackGraph&) = delete;

    // Renders as fast as the decoders go instead of on the clock (benchmarks); before build().
    void setSynchronised(bool synchronised) { m_synchronised = synchronised; }

    // Builds and cues the pipeline (first pictures shown). Returns how many channels loaded,
    // 0 when channel 1 could not be loaded.
    int build(const RecordingSources& sources, const std::array<VideoSurface*, 3>& surfaces);

    bool play(double rate);
    bool pause();
    // Flushing, accurate; waits until the new position is cued. Keeps the rate.
    bool seekNs(std::int64_t positionNs, double rate);
    std::int64_t positionNs() const;
    std::int64_t durationNs() const;
    void setVolume(double gain);

    void setSurface(int channel, VideoSurface* surface);
    VideoSurface* surface(int channel) const;
    void setDestination(int channel, Rect destination);
    bool hasChannel(int channel) const;
    std::pair<std::int32_t, std::int32_t> nativeSize(int channel) const;
    std::shared_ptr<const VideoFrame> lastFrame(int channel) const;
    DecoderSettings& settings(int channel);
    void applySettings(int channel);

    struct Counts {
        std::array<std::int64_t, 3> frames{};
        std::array<std::int64_t, 3> dropped{};
    };
    Counts counts() const;
    bool hasSound() const;
    GstElement* pipeline() const { return m_pipeline; }

    // Hands a decoded picture of a channel to its surface; called by the channel's sink.
    static void deliver(void* channel, GstSample* sample);

private:
    struct Channel;
    static void onPadAdded(GstElement* parser, GstPad* pad, void* self);
    static void onNoMorePads(GstElement* parser, void* bus);
    void linkPad(int channel, GstPad* pad);
    void linkVideo(int channel, GstPad* pad);
    void linkSound(GstPad* pad);
    bool waitForPreroll();
    void resetWait();
    GstElement* makeSource(int channel, const RecordingSources& sources);

    std::uint64_t m_generation;
    std::function<void(std::uint64_t, GstMessage*)> m_onMessage;
    GstElement* m_pipeline = nullptr;
    std::array<std::unique_ptr<Channel>, 3> m_channels;
    GstElement* m_volume = nullptr;
    bool m_sound = false;
    bool m_synchronised = true;
    std::unique_ptr<detail::GraphBus> m_bus;
    std::unique_ptr<detail::CardReader> m_cardReader;
    mutable std::mutex m_lock;  // pad-added runs on streaming threads
};

}  // namespace qelv::media
