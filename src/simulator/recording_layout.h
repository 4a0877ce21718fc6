// A recording as the recorder lays it out: 40 leading bytes, the media-data box at 40, the
// samples back to back from 48 and, once the file is closed, the movie box right after them.
// The layout knows every sample's offset, so it is the ground truth the index rebuild is
// measured against.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "storage/byte_source.h"
#include "storage/mp4_format.h"
#include "storage/recording_types.h"
#include "storage/sample_tables.h"

namespace qelv::sim {

enum class SampleKind { Audio, Video, Telemetry };

struct Sample {
    SampleKind kind;
    std::vector<std::uint8_t> bytes;  // video: 4-byte length + NAL
    bool key = false;
};

// Where the recorder put one sample in the file: what a player must be pointed at. Taken from
// the layout's own placement of the samples, never from reading the file back.
struct PlacedSample {
    SampleKind kind;
    std::uint64_t offset;
    std::uint32_t size;
    bool key;
    bool operator==(const PlacedSample&) const = default;
};

class RecordingLayout {
public:
    RecordingLayout() = default;
    explicit RecordingLayout(std::vector<Sample> samples);

    const std::vector<Sample>& samples() const { return m_samples; }
    std::uint64_t offsetOf(std::size_t index) const { return m_offsets[index]; }
    // First byte after the last sample.
    std::uint64_t dataEnd() const { return m_offsets.back(); }

    // Every sample in file order, as the recorder placed it.
    std::vector<PlacedSample> placement() const;

    // The tables a clean walk of this layout must find.
    const core::SampleTables& tables() const { return m_tables; }

    // Swaps sample `index` for other bytes of the same kind; offsets and tables follow.
    void replace(std::size_t index, std::vector<std::uint8_t> bytes);

    // The 48 bytes before the first sample: ftyp, free and the media-data box header with
    // `dataSize` (0 for an unfinished file).
    static std::vector<std::uint8_t> leadingBytes(std::uint32_t dataSize);

private:
    void layOut();

    std::vector<Sample> m_samples;
    std::vector<std::uint64_t> m_offsets;  // one per sample, plus the end
    core::SampleTables m_tables;
};

// Reads the layout's file image (leading bytes with an unfinished size, samples, then zeros
// up to `size`) without building it in memory.
class LayoutSource : public core::ByteSource {
public:
    LayoutSource(const RecordingLayout& layout, std::uint64_t size);
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override;
    std::uint64_t size() const override { return m_size; }

private:
    const RecordingLayout& m_layout;
    std::vector<std::uint8_t> m_head;
    std::uint64_t m_size;
};

// Makes the layout walkable: while the index rebuild's walk of the unfinished file would find
// other tables than the layout's (a sound frame whose bytes look like the start of a frame or
// a record, or one too long for the walk's window), asks `alternative` for other bytes of the
// sound frame at that index (the `attempt`-th alternative) and tries again. Returns false
// when `alternative` runs out.
bool makeWalkable(
    RecordingLayout& layout,
    const std::function<std::optional<std::vector<std::uint8_t>>(std::size_t index, int attempt)>&
        alternative);

struct WrittenFile {
    std::uint64_t size = 0;
    std::uint64_t moovOffset = 0;  // 0 for an unfinished file
    std::vector<std::uint8_t> moov;
};

// Writes the layout as a complete file (movie box right after the samples) or an unfinished
// one (size 0 at 40, no movie box, `tailBytes` zeros after the samples as the recorder
// preallocates them). Written beside the target and renamed into place.
WrittenFile writeRecording(const RecordingLayout& layout, const std::filesystem::path& path,
                           bool complete, core::CameraChannel camera,
                           const core::mp4::VideoFormat& video, std::uint64_t tailBytes);

}  // namespace qelv::sim
