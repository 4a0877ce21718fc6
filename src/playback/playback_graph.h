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
//
// A rear or third file that fails while the recording is cued (a damaged movie box, a file
// that is no recording) is left out and the recording is built again without it; so is a
// sound chain that fails. Only a failure of the front file fails the build.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "playback/decoder_choice.h"
#include "playback/decoder_settings.h"
#include "playback/graph_bus.h"
#include "playback/video_surface.h"
#include "storage/byte_source.h"

typedef struct _GstElement GstElement;
typedef struct _GstPad GstPad;
typedef struct _GstSample GstSample;

namespace qelv::media {

namespace detail {
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
    // `onEvent` receives end-of-stream and errors on a GStreamer thread, tagged with
    // `generation`, from the moment the recording is cued.
    PlaybackGraph(std::uint64_t generation,
                  std::function<void(std::uint64_t, const BusEvent&)> onEvent);
    ~PlaybackGraph();
    PlaybackGraph(const PlaybackGraph&) = delete;
    PlaybackGraph& operator=(const PlaybackGraph&) = delete;

    // Renders as fast as the decoders go instead of on the clock (benchmarks); before build().
    void setSynchronised(bool synchronised) { m_synchronised = synchronised; }
    // Which H.264 decoders may play the cameras; before build().
    void setDecoderPreference(DecoderPreference preference) { m_preference = preference; }
    // The decoder the cameras play with (its GStreamer name), once built; and why hardware
    // decoders gave way to the next one or to software (empty when none did).
    const std::string& decoderName() const { return m_decoderName; }
    const std::string& decoderNote() const { return m_decoderNote; }

    // Builds and cues the pipeline (first pictures shown). Returns how many channels loaded,
    // 0 when channel 1 could not be loaded (error() says why). Runs on the engine's thread,
    // which is also the only thread that asks the surfaces for their size; with no surfaces
    // (a recording cued ahead) any thread may build.
    int build(const RecordingSources& sources, const std::array<VideoSurface*, 3>& surfaces);
    // Why the build failed: the file and what went wrong with it.
    const std::string& error() const { return m_error; }
    // The channels and the sound left out while building, one line each, naming the file.
    const std::vector<std::string>& leftOut() const { return m_leftOut; }

    // Runs at `rate`; any rate other than the one playing takes a seek from the position.
    bool play(double rate);
    bool pause();
    // Flushing, accurate; waits until the new position is cued. Keeps the rate.
    bool seekNs(std::int64_t positionNs, double rate);
    std::int64_t positionNs() const;
    std::int64_t durationNs() const;
    void setVolume(double gain);
    // The sound output's own stream volume (0 to 1), where the sink has one (the desktop's
    // sound server does; the silent sink has none).
    void setOutputVolume(double linear);

    void setSurface(int channel, VideoSurface* surface);
    VideoSurface* surface(int channel) const;
    void setDestination(int channel, Rect destination);
    // Where the channel's picture is placed in its surface now.
    Rect destination(int channel) const;
    bool hasChannel(int channel) const;
    std::pair<std::int32_t, std::int32_t> nativeSize(int channel) const;
    std::shared_ptr<const VideoFrame> lastFrame(int channel) const;
    // The numbered decoder settings of a loaded channel (hasChannel); applySettings passes
    // changes on to the elements.
    DecoderSettings& settings(int channel);
    const DecoderSettings& settings(int channel) const;
    void applySettings(int channel);

    // Frames of each channel shown while playing, and frames that were due and never shown
    // (dropped late by the decoder or by the sink). Pictures shown while paused (after
    // opening, a seek or a step) are not counted.
    struct Counts {
        std::array<std::int64_t, 3> shown{};
        std::array<std::int64_t, 3> lost{};
    };
    Counts counts() const;
    bool hasSound() const;
    // Ends a channel's or the sound's branch after it failed while playing, so that the rest
    // plays on to the end of the recording.
    void endBranch(int branch);
    GstElement* pipeline() const { return m_pipeline; }

    // Hands a decoded picture of a channel to its surface; called by the channel's sink on a
    // streaming thread. `playing` is false for the picture a paused graph shows.
    static void deliver(void* channel, GstSample* sample, bool playing);

private:
    struct Channel;
    struct Attempt;
    static void onPadAdded(GstElement* parser, GstPad* pad, void* self);
    static void onNoMorePads(GstElement* parser, void* bus);
    bool checkFiles(const RecordingSources& sources, Attempt& attempt);
    int buildOnce(const RecordingSources& sources, const Attempt& attempt);
    bool addChannelSource(int channel, const RecordingSources& sources, bool avi);
    void linkVideo(int channel, GstPad* pad);
    void linkSound(GstPad* pad);
    bool waitForPreroll();
    bool everyChannelPictured() const;
    // Waits until the pipeline has reached the state it was last asked for; false on failure
    // or when it does not get there in time.
    bool settle();
    void resetWait();
    void destroyPipeline();
    GstElement* makeSource(int channel, const RecordingSources& sources);

    std::uint64_t m_generation;
    std::function<void(std::uint64_t, const BusEvent&)> m_onEvent;
    GstElement* m_pipeline = nullptr;
    std::array<std::unique_ptr<Channel>, 3> m_channels;
    GstElement* m_volume = nullptr;
    GstElement* m_soundSink = nullptr;
    GstElement* m_soundHead = nullptr;
    bool m_sound = false;
    bool m_soundWanted = true;
    std::array<bool, 3> m_skipped{};  // channels left out of this build
    bool m_synchronised = true;
    DecoderPreference m_preference = DecoderPreference::Auto;
    std::string m_decoderName;  // the decoder of this build attempt
    std::string m_decoderNote;
    double m_playingRate = 1.0;  // the rate of the pipeline's current segment
    std::string m_error;
    std::vector<std::string> m_leftOut;
    std::unique_ptr<detail::GraphBus> m_bus;
    std::unique_ptr<detail::CardReader> m_cardReader;
    mutable std::mutex m_lock;  // pad-added runs on streaming threads
};

}  // namespace qelv::media
