#include "simulator/media_encoders.h"

#include <cmath>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>

#include "simulator/gst_encoder.h"
#include "simulator/h264_bits.h"
#include "simulator/slice_rewriter.h"

namespace qelv::sim {

namespace {

constexpr std::uint64_t kFrameNs = 1'000'000'000ull / 30;
constexpr int kAudioRate = 16000;
constexpr int kAudioFrameSamples = 1024;
constexpr std::uint8_t kAacPairElement = 0x21;

std::string videoPipeline(const VideoRequest& r) {
    const std::string size =
        "width=" + std::to_string(r.format->width) + ",height=" + std::to_string(r.format->height);
    // Only what the recorder's parameter sets allow: High profile, CABAC, 8x8 transform, one
    // reference, no B frames, one slice, a key frame every 30 frames and nowhere else, no
    // weighted prediction, no chroma offsets (psy off). The superfast preset spends a third of
    // veryfast's time on the noisy pictures and writes the same syntax.
    return "appsrc name=src is-live=false block=true max-bytes=" +
           std::to_string(3u * r.format->width * r.format->height) +
           " format=time caps=video/x-raw,format=I420," + size +
           ",framerate=30/1 ! x264enc speed-preset=superfast bitrate=" +
           std::to_string(r.bitrateKbps) +
           " key-int-max=30 bframes=0 b-adapt=false cabac=true dct8x8=true ref=1 aud=false "
           "sliced-threads=false option-string=\"scenecut=0:keyint-min=30:weightp=0:psy=0\" "
           "! video/x-h264,profile=high,stream-format=byte-stream,alignment=au "
           "! appsink name=sink sync=false";
}

}  // namespace

std::vector<Sample> encodeVideo(const VideoRequest& request,
                                const std::function<void(int)>& progress) {
    SliceRewriter rewriter(request.format->avcC);
    std::vector<Sample> samples;
    samples.reserve(static_cast<std::size_t>(request.frames));
    Bytes sps, pps;
    GstEncoder encoder(videoPipeline(request), [&](std::span<const std::uint8_t> unit) {
        for (auto nal : splitAnnexB(unit)) {
            const std::uint8_t type = nal[0] & 0x1F;
            if (type == 7) {
                sps.assign(nal.begin(), nal.end());
            } else if (type == 8) {
                pps.assign(nal.begin(), nal.end());
                rewriter.setEncoderParameters(sps, pps);
            } else if (type == 1 || type == 5) {
                const Bytes rewritten = rewriter.rewrite(nal);
                Sample sample{SampleKind::Video, {}, type == 5};
                const auto length = static_cast<std::uint32_t>(rewritten.size());
                sample.bytes = {static_cast<std::uint8_t>(length >> 24),
                                static_cast<std::uint8_t>(length >> 16),
                                static_cast<std::uint8_t>(length >> 8),
                                static_cast<std::uint8_t>(length)};
                sample.bytes.insert(sample.bytes.end(), rewritten.begin(), rewritten.end());
                samples.push_back(std::move(sample));
            }
        }
    });
    FramePainter painter(request.format->width, request.format->height, request.channel,
                         request.noise, request.seed);
    std::vector<std::uint8_t> picture;
    for (int i = 0; i < request.frames; ++i) {
        painter.paint(i, picture);
        encoder.push(picture, static_cast<std::uint64_t>(i) * kFrameNs, kFrameNs);
        if (progress && i % 30 == 29) {
            progress(i + 1);
        }
    }
    encoder.finish();
    if (samples.size() != static_cast<std::size_t>(request.frames)) {
        throw std::runtime_error("the video encoder gave " + std::to_string(samples.size()) +
                                 " frames for " + std::to_string(request.frames));
    }
    return samples;
}

std::vector<std::vector<std::uint8_t>> encodeAudio(int frames, std::uint64_t seed, int variant) {
    std::vector<std::vector<std::uint8_t>> out;
    GstEncoder encoder(
        "appsrc name=src block=true format=time caps=audio/x-raw,format=S16LE,rate=16000,"
        "channels=2,channel-mask=(bitmask)0x3,layout=interleaved ! voaacenc bitrate=24000 "
        "! audio/mpeg,mpegversion=4,stream-format=raw ! appsink name=sink sync=false",
        [&](std::span<const std::uint8_t> frame) {
            if (frame.empty() || frame[0] != kAacPairElement) {
                throw std::runtime_error(
                    "the AAC encoder gave a frame that does not start with 0x21; the "
                    "recorder's files cannot hold it");
            }
            out.emplace_back(frame.begin(), frame.end());
        });

    // An engine's hum, road noise and, per variant, a faint different hiss.
    std::mt19937_64 noise(seed * 31 + static_cast<std::uint64_t>(variant));
    std::normal_distribution<double> hiss(0.0, 1.0);
    const double hissLevel = 30.0 + 10.0 * variant;
    std::vector<std::int16_t> pcm(2 * kAudioFrameSamples);
    const int total = frames + 3;  // the encoder holds back a frame or two
    for (int f = 0; f < total; ++f) {
        for (int i = 0; i < kAudioFrameSamples; ++i) {
            const double t = (f * kAudioFrameSamples + i) / double(kAudioRate);
            const double hum = 2500.0 * std::sin(2 * std::numbers::pi * 95.0 * t) *
                               (0.7 + 0.3 * std::sin(2 * std::numbers::pi * 0.2 * t));
            const double road =
                900.0 * std::sin(2 * std::numbers::pi * 310.0 * t + std::sin(7 * t));
            const double left = hum + road + hissLevel * hiss(noise);
            const double right = hum + 0.8 * road + hissLevel * hiss(noise);
            pcm[2 * i] = static_cast<std::int16_t>(std::lround(left));
            pcm[2 * i + 1] = static_cast<std::int16_t>(std::lround(right));
        }
        const auto bytes = std::span<const std::uint8_t>(
            reinterpret_cast<const std::uint8_t*>(pcm.data()), pcm.size() * sizeof(std::int16_t));
        const std::uint64_t frameNs = 1'000'000'000ull * kAudioFrameSamples / kAudioRate;
        encoder.push(bytes, static_cast<std::uint64_t>(f) * frameNs, frameNs);
    }
    encoder.finish();
    if (out.size() < static_cast<std::size_t>(frames)) {
        throw std::runtime_error("the AAC encoder gave too few frames");
    }
    out.resize(static_cast<std::size_t>(frames));
    return out;
}

}  // namespace qelv::sim
