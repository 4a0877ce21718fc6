// Builds small MP4 files around a telemetry track whose tables a test chooses: the records
// lie in a media-data box, the movie box holds one "sdsm" track.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qelv::test {

struct StscRun {
    std::uint32_t firstChunk;
    std::uint32_t perChunk;
};

inline void put32(std::string& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>(v >> shift));
    }
}

inline std::string mp4Box(const std::string& type, const std::string& payload) {
    std::string out;
    put32(out, static_cast<std::uint32_t>(payload.size() + 8));
    return out + type + payload;
}

// "ftyp", then "mdat" holding `data` (which starts at kTelemetryDataOffset), then the movie
// box with a telemetry track: records of `recordSize` bytes, chunks at the given offsets
// (relative to the data) and the given stsc runs.
inline constexpr std::uint32_t kTelemetryDataOffset = 24;

// `handler` other than "sdsm" makes it some other track (a camera's "vide").
inline std::string telemetryMovie(const std::string& data, std::uint32_t recordSize,
                                  std::uint32_t recordCount,
                                  const std::vector<std::uint32_t>& chunkOffsets,
                                  const std::vector<StscRun>& runs,
                                  const std::string& handler = "sdsm") {
    std::string hdlr(8, '\0');
    hdlr += handler + std::string(12, '\0') + "XBLB" + std::string(1, '\0');
    std::string stsd(4, '\0');
    put32(stsd, 1);
    stsd += mp4Box("mp4s", std::string(8, '\0'));
    std::string stsz(4, '\0'), stco(4, '\0'), stsc(4, '\0');
    put32(stsz, recordSize);
    put32(stsz, recordCount);
    put32(stco, static_cast<std::uint32_t>(chunkOffsets.size()));
    for (std::uint32_t offset : chunkOffsets) {
        put32(stco, kTelemetryDataOffset + offset);
    }
    put32(stsc, static_cast<std::uint32_t>(runs.size()));
    for (const StscRun& run : runs) {
        put32(stsc, run.firstChunk);
        put32(stsc, run.perChunk);
        put32(stsc, 1);
    }
    const std::string stbl =
        mp4Box("stsd", stsd) + mp4Box("stsz", stsz) + mp4Box("stco", stco) + mp4Box("stsc", stsc);
    const std::string trak =
        mp4Box("trak", mp4Box("mdia", mp4Box("hdlr", hdlr) + mp4Box("minf", mp4Box("stbl", stbl))));
    return mp4Box("ftyp", "isom" + std::string(4, '\0')) + mp4Box("mdat", data) +
           mp4Box("moov", trak);
}

}  // namespace qelv::test
