#include "storage/movie_box.h"

#include <algorithm>

#include "storage/box_writer.h"

namespace qelv::core {

namespace {

using Table = std::vector<std::uint32_t>;

constexpr std::uint16_t kLanguageUnd = 0x55C4;
constexpr std::uint32_t kFixedOne = 0x00010000;  // 1.0 in 16.16

std::uint32_t count(const Table& table) {
    return static_cast<std::uint32_t>(table.size());
}

// Length of the video in milliseconds. A front file's first frame lasts two frame times, so
// its frames span one frame time more than their count; an edit list cut at the count alone
// would hide the last frame from every player.
std::uint32_t videoDurationMs(const SampleTables& t, CameraChannel camera) {
    std::uint64_t frames = t.videoSizes.size();
    if (camera == CameraChannel::Front && frames > 0) {
        ++frames;
    }
    return static_cast<std::uint32_t>(frames * 33333 / 1000);
}

void matrix(BoxWriter& w) {
    for (std::uint32_t v : {kFixedOne, 0u, 0u, 0u, kFixedOne, 0u, 0u, 0u, 0x40000000u}) {
        w.u32(v);
    }
}

struct TrackHeader {
    std::uint32_t trackId;
    std::uint32_t duration;
    std::uint16_t alternateGroup;
    std::uint16_t volume;
    std::uint32_t width;
    std::uint32_t height;
};

void trackHeaderAndEdits(BoxWriter& w, const TrackHeader& h) {
    w.beginFull("tkhd", 3);
    w.u32(0);  // creation
    w.u32(0);  // modification
    w.u32(h.trackId);
    w.u32(0);
    w.u32(h.duration);
    w.zeros(8);
    w.u16(0);  // layer
    w.u16(h.alternateGroup);
    w.u16(h.volume);
    w.u16(0);
    matrix(w);
    w.u32(h.width << 16);
    w.u32(h.height << 16);
    w.end();

    w.begin("edts");
    w.beginFull("elst");
    w.u32(1);
    w.u32(h.duration);
    w.u32(0);  // media time
    w.u32(kFixedOne);
    w.end();
    w.end();
}

void mediaHeader(BoxWriter& w, std::uint32_t timescale, std::uint32_t duration) {
    w.beginFull("mdhd");
    w.u32(0);
    w.u32(0);
    w.u32(timescale);
    w.u32(duration);
    w.u16(kLanguageUnd);
    w.u16(0);
    w.end();
}

void handler(BoxWriter& w, std::string_view type, std::string_view name) {
    w.beginFull("hdlr");
    w.u32(0);
    w.text(type);
    w.zeros(12);
    w.text(name);
    w.u8(0);
    w.end();
}

void dataInformation(BoxWriter& w) {
    w.begin("dinf");
    w.beginFull("dref");
    w.u32(1);
    w.beginFull("url ", 1);  // the data is in this file
    w.end();
    w.end();
    w.end();
}

void sampleSizes(BoxWriter& w, const Table& sizes) {
    w.beginFull("stsz");
    w.u32(0);
    w.u32(count(sizes));
    for (std::uint32_t size : sizes) {
        w.u32(size);
    }
    w.end();
}

void chunkOffsets(BoxWriter& w, const Table& offsets) {
    w.beginFull("stco");
    w.u32(count(offsets));
    for (std::uint32_t offset : offsets) {
        w.u32(offset);
    }
    w.end();
}

// A track without samples gets no entry: a chunk map that names chunks the offsets table does
// not have makes other players refuse the whole file.
void oneSamplePerChunk(BoxWriter& w, bool empty) {
    w.beginFull("stsc");
    w.u32(empty ? 0 : 1);
    if (!empty) {
        w.u32(1);
        w.u32(1);
        w.u32(1);
    }
    w.end();
}

// stsc, stsz and stco of a track whose every sample is a chunk of its own. A recording cut
// inside its last sound frame or record leaves that sample's offset without a size: it is
// left out, since a chunk for it would give the track more samples than sizes, a table that
// disagrees with itself.
void samplesInOwnChunks(BoxWriter& w, const Table& offsets, const Table& sizes) {
    const auto samples = static_cast<std::ptrdiff_t>(std::min(offsets.size(), sizes.size()));
    oneSamplePerChunk(w, samples == 0);
    sampleSizes(w, Table(sizes.begin(), sizes.begin() + samples));
    chunkOffsets(w, Table(offsets.begin(), offsets.begin() + samples));
}

void timeToSample(BoxWriter& w,
                  std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> runs) {
    w.beginFull("stts");
    w.u32(static_cast<std::uint32_t>(runs.size()));
    for (const auto& [samples, delta] : runs) {
        w.u32(samples);
        w.u32(delta);
    }
    w.end();
}

// ES descriptor of an esds box: decoder configuration with its specific info, SL config 2.
struct EsDescriptor {
    std::uint16_t esId;
    std::uint8_t objectType;
    std::uint8_t streamByte;
    std::uint32_t maxBitrate;
    std::uint32_t avgBitrate;
    std::span<const std::uint8_t> specificInfo;
};

void elementaryStreamDescriptor(BoxWriter& w, const EsDescriptor& es) {
    w.beginFull("esds");
    w.beginDescriptor(0x03);
    w.u16(es.esId);
    w.u8(0);
    w.beginDescriptor(0x04);
    w.u8(es.objectType);
    w.u8(es.streamByte);
    w.u24(0);  // buffer size
    w.u32(es.maxBitrate);
    w.u32(es.avgBitrate);
    w.beginDescriptor(0x05);
    w.bytes(es.specificInfo);
    w.endDescriptor();
    w.endDescriptor();
    w.beginDescriptor(0x06);
    w.u8(2);
    w.endDescriptor();
    w.endDescriptor();
    w.end();
}

void videoTrack(BoxWriter& w, const SampleTables& t, CameraChannel camera,
                const mp4::VideoFormat& video) {
    const auto frames = count(t.videoSizes);
    const std::uint32_t duration = videoDurationMs(t, camera);
    w.begin("trak");
    trackHeaderAndEdits(w, {1, duration, 0, 0, video.width, video.height});
    w.begin("mdia");
    mediaHeader(w, mp4::kVideoTimescale,
                static_cast<std::uint32_t>(std::uint64_t{frames} * 511994880 / 1000000));
    handler(w, "vide", "VideoHandler");
    w.begin("minf");
    w.beginFull("vmhd", 1);
    w.zeros(8);
    w.end();
    dataInformation(w);
    w.begin("stbl");
    w.beginFull("stsd");
    w.u32(1);
    w.begin("avc1");
    w.zeros(6);
    w.u16(1);  // data reference index
    w.zeros(16);
    w.u16(video.width);
    w.u16(video.height);
    w.u32(0x00480000);  // 72 dpi
    w.u32(0x00480000);
    w.u32(0);
    w.u16(1);  // frame count
    w.zeros(32);
    w.u16(0x0018);
    w.u16(0xFFFF);
    w.begin("avcC");
    w.bytes(video.avcC);
    w.end();
    w.end();
    w.end();
    if (frames == 0) {
        // "0 - 1 frames" would tell a player to expect four billion of them.
        w.beginFull("stts");
        w.u32(0);
        w.end();
    } else if (camera == CameraChannel::Front) {
        timeToSample(w, {{1, 2 * mp4::kVideoFrameTicks}, {frames - 1, mp4::kVideoFrameTicks}});
    } else {
        timeToSample(w, {{frames, mp4::kVideoFrameTicks}});
    }
    w.beginFull("stss");
    w.u32(count(t.keyFrames));
    for (std::uint32_t key : t.keyFrames) {
        w.u32(key);
    }
    w.end();
    w.beginFull("stsc");
    w.u32(static_cast<std::uint32_t>(t.videoChunkRuns.size()));
    for (const ChunkRun& run : t.videoChunkRuns) {
        w.u32(run.firstChunk);
        w.u32(run.framesPerChunk);
        w.u32(run.descriptionIndex);
    }
    w.end();
    sampleSizes(w, t.videoSizes);
    chunkOffsets(w, t.videoChunkOffsets);
    w.end();  // stbl
    w.end();  // minf
    w.end();  // mdia
    w.end();  // trak
}

void telemetryTrack(BoxWriter& w, const SampleTables& t) {
    const std::uint32_t records = count(t.telemetrySizes);
    w.begin("trak");
    trackHeaderAndEdits(w, {2, records * 64, 3, 0, 0, 0});
    w.begin("mdia");
    mediaHeader(w, 90000, 0);
    handler(w, "sdsm", "XBLB");
    w.begin("minf");
    w.beginFull("nmhd");
    w.end();
    dataInformation(w);
    w.begin("stbl");
    w.beginFull("stsd");
    w.u32(1);
    w.begin("mp4s");
    w.zeros(6);
    w.u16(1);
    elementaryStreamDescriptor(w, {2, 0x08, 0x81, 24000, 0, mp4::kTelemetryDecoderInfo});
    w.end();
    w.end();
    timeToSample(w, {{records, 0}});
    samplesInOwnChunks(w, t.telemetryOffsets, t.telemetrySizes);
    w.end();
    w.end();
    w.end();
    w.end();
}

void audioTrack(BoxWriter& w, const SampleTables& t) {
    const std::uint32_t frames = count(t.audioSizes);
    w.begin("trak");
    trackHeaderAndEdits(w, {3, frames * 64, 1, 0x0100, 0, 0});
    w.begin("mdia");
    mediaHeader(w, mp4::kAudioSampleRate, frames * mp4::kAudioFrameSamples);
    handler(w, "soun", "SoundHandler");
    w.begin("minf");
    w.beginFull("smhd");
    w.u32(0);
    w.end();
    dataInformation(w);
    w.begin("stbl");
    w.beginFull("stsd");
    w.u32(1);
    w.begin("mp4a");
    w.zeros(6);
    w.u16(1);
    w.zeros(8);
    w.u16(2);   // channels
    w.u16(16);  // bits per sample
    w.u16(0);
    w.u16(0);
    w.u32(mp4::kAudioSampleRate << 16);
    elementaryStreamDescriptor(w, {3, 0x40, 0x15, 24000, 24000, mp4::kAudioSpecificConfig});
    w.end();
    w.end();
    timeToSample(w, {{frames, mp4::kAudioFrameSamples}});
    samplesInOwnChunks(w, t.audioOffsets, t.audioSizes);
    w.end();
    w.end();
    w.end();
    w.end();
}

}  // namespace

const mp4::VideoFormat& videoFormatFor(CameraChannel camera, int sizeClass) {
    if (camera == CameraChannel::Front || sizeClass == 3) {
        return mp4::kVideo1080;
    }
    return sizeClass == 1 ? mp4::kVideo720 : mp4::kVideo480;
}

std::vector<std::uint8_t> buildMovieBox(const SampleTables& tables, CameraChannel camera,
                                        const mp4::VideoFormat& video) {
    BoxWriter w;
    w.begin("moov");
    w.beginFull("mvhd");
    w.u32(0);
    w.u32(0);
    w.u32(1000);
    w.u32(videoDurationMs(tables, camera));
    w.u32(kFixedOne);
    w.u16(0x0100);
    w.zeros(10);
    matrix(w);
    w.zeros(24);
    w.u32(3);  // next track id, as the recorder writes it
    w.end();
    videoTrack(w, tables, camera, video);
    telemetryTrack(w, tables);
    audioTrack(w, tables);
    w.end();
    return w.take();
}

}  // namespace qelv::core
