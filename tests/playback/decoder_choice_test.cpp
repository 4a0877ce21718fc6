// The choice of H.264 decoder, with decoders that stand in for hardware ones: registered in
// this process only (a test program of its own, so that no other test plays through them).
// One wraps the software decoder and works; one fails on its first buffer, as a hardware
// decoder that cannot open a stream does.
#include "playback/decoder_choice.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "playback/headless_surface.h"
#include "playback/playback_engine.h"
#include "simulator/recorder_simulator.h"
#include "support/temp_dir.h"

#pragma GCC diagnostic ignored "-Wold-style-cast"

namespace {

constexpr const char* kSinkCaps =
    "video/x-h264, alignment=(string)au, "
    "stream-format=(string){ avc, byte-stream }";

GstStaticPadTemplate sinkTemplate =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(kSinkCaps));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw"));

// A "hardware" decoder that is the software one inside.
struct WrappedDecoder {
    GstBin parent;
};
struct WrappedDecoderClass {
    GstBinClass parent;
};
G_DEFINE_TYPE(WrappedDecoder, wrapped_decoder, GST_TYPE_BIN)

void wrapped_decoder_class_init(WrappedDecoderClass* klass) {
    auto* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Test hardware H.264 decoder",
                                          "Codec/Decoder/Video/Hardware", "wraps avdec_h264",
                                          "QELV tests");
}

void wrapped_decoder_init(WrappedDecoder* self) {
    GstElement* inner = gst_element_factory_make("avdec_h264", nullptr);
    gst_bin_add(GST_BIN(self), inner);
    for (const char* name : {"sink", "src"}) {
        GstPad* pad = gst_element_get_static_pad(inner, name);
        gst_element_add_pad(GST_ELEMENT(self), gst_ghost_pad_new(name, pad));
        gst_object_unref(pad);
    }
}

// A "hardware" decoder that cannot open any stream.
struct BrokenDecoder {
    GstElement parent;
};
struct BrokenDecoderClass {
    GstElementClass parent;
};
G_DEFINE_TYPE(BrokenDecoder, broken_decoder, GST_TYPE_ELEMENT)

void broken_decoder_class_init(BrokenDecoderClass* klass) {
    auto* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Broken test hardware H.264 decoder",
                                          "Codec/Decoder/Video/Hardware", "fails", "QELV tests");
}

GstFlowReturn brokenChain(GstPad*, GstObject* parent, GstBuffer* buffer) {
    gst_buffer_unref(buffer);
    GST_ELEMENT_ERROR(parent, STREAM, DECODE, ("the device cannot open this stream"), (nullptr));
    return GST_FLOW_ERROR;
}

void broken_decoder_init(BrokenDecoder* self) {
    GstPad* sink = gst_pad_new_from_static_template(&sinkTemplate, "sink");
    gst_pad_set_chain_function(sink, brokenChain);
    gst_element_add_pad(GST_ELEMENT(self), sink);
    gst_element_add_pad(GST_ELEMENT(self), gst_pad_new_from_static_template(&srcTemplate, "src"));
}

}  // namespace

namespace qelv::media {
namespace {

TEST(DecoderChoice, SettingTexts) {
    EXPECT_EQ(decoderPreferenceOf(" Auto "), DecoderPreference::Auto);
    EXPECT_EQ(decoderPreferenceOf("SOFTWARE"), DecoderPreference::Software);
    EXPECT_EQ(decoderPreferenceOf("hardware"), std::nullopt);
    EXPECT_EQ(decoderPreferenceOf(""), std::nullopt);
}

// Stages build on each other: the broken stand-in is registered first, the working one
// (ranked below it) next, and then the broken one is ranked below the working one.
TEST(DecoderChoice, AHardwareDecoderPlaysAndOneThatFailsGivesWayToSoftware) {
    test::TempDir dir;
    sim::RecordingRequest request;
    request.cardRoot = dir.path();
    request.seconds = 2;
    request.channels = 2;
    request.bitrateScale = 0.05;
    const sim::SimulatedRecording recording = sim::simulateRecording(request);
    test::HeadlessSurface panes[3] = {{640, 360}, {320, 180}, {320, 180}};
    const auto play = [&](DecoderPreference preference) {
        PlaybackEngine engine;
        engine.initialise(&panes[0], &panes[1], &panes[2]);
        engine.setDecoderPreference(preference);
        // As fast as the decoders go: on a busy machine the rear's late pictures would be
        // dropped on purpose, and whether it decodes is what counts here.
        engine.setSynchronised(false);
        EXPECT_TRUE(engine.open(recording.files[0].path.string(), recording.files[1].path.string()))
            << engine.openError();
        const int before = panes[1].presented();
        EXPECT_EQ(engine.run(), kOk);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (panes[1].presented() < before + 10 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_GE(panes[1].presented(), before + 10)
            << "the rear camera does not play: " << engine.graph()->decoderNote();
        EXPECT_TRUE(engine.leftOut().empty());
        return std::pair{engine.graph()->decoderName(), engine.graph()->decoderNote()};
    };
    EXPECT_EQ(h264Decoders(DecoderPreference::Auto).back(), "avdec_h264");
    using Played = std::pair<std::string, std::string>;

    // A hardware decoder that cannot open the stream gives way to the software one.
    ASSERT_TRUE(gst_element_register(nullptr, "qelvtestbrokendec", GST_RANK_PRIMARY + 20,
                                     broken_decoder_get_type()));
    EXPECT_EQ(h264Decoders(DecoderPreference::Auto).front(), "qelvtestbrokendec");
    EXPECT_EQ(h264Decoders(DecoderPreference::Software), std::vector<std::string>{"avdec_h264"});
    const Played software = play(DecoderPreference::Auto);
    EXPECT_EQ(software.first, "avdec_h264");
    EXPECT_NE(software.second.find("qelvtestbrokendec could not play"), std::string::npos)
        << software.second;
    EXPECT_EQ(play(DecoderPreference::Software), (Played{"avdec_h264", ""}));

    // With a second one installed, the next hardware decoder is tried before the software one.
    ASSERT_TRUE(gst_element_register(nullptr, "qelvtesthwdec", GST_RANK_PRIMARY + 10,
                                     wrapped_decoder_get_type()));
    const Played next = play(DecoderPreference::Auto);
    EXPECT_EQ(next.first, "qelvtesthwdec");
    EXPECT_NE(next.second.find("decoded by qelvtesthwdec"), std::string::npos) << next.second;

    // A working hardware decoder plays with nothing to say.
    GstElementFactory* broken = gst_element_factory_find("qelvtestbrokendec");
    ASSERT_NE(broken, nullptr);
    gst_plugin_feature_set_rank(GST_PLUGIN_FEATURE(broken), GST_RANK_PRIMARY);
    gst_object_unref(broken);
    EXPECT_EQ(h264Decoders(DecoderPreference::Auto).front(), "qelvtesthwdec");
    EXPECT_EQ(play(DecoderPreference::Auto), (Played{"qelvtesthwdec", ""}));
    EXPECT_EQ(play(DecoderPreference::Software).first, "avdec_h264");
}

}  // namespace
}  // namespace qelv::media
