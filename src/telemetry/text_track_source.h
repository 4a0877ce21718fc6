// The telemetry track of a recording, one record at a time. For an MP4 file it is the track
// whose handler is "sdsm" (sample entry "mp4s"), found through the movie box's sample tables;
// for an AVI recording (a WyFS card's) it is the text stream ("txts", chunks "NNtx").
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "storage/byte_source.h"
#include "telemetry/telemetry_records.h"

namespace qelv::core {

// What the source found in the file.
enum class TrackStatus {
    Found,         // a recording with a telemetry track (which may hold no records)
    NoTrack,       // a recording without a telemetry track
    NotRecording,  // no MP4 or AVI recording, one without its index, or one that is damaged
};

class TextTrackSource {
public:
    // Reads records from `bytes` (which the source keeps, not owns); a file without a usable
    // telemetry track gives none, and status() says why.
    explicit TextTrackSource(ByteSource& bytes);

    TrackStatus status() const { return m_status; }
    // Why the file is not a readable recording ("not an MP4 or AVI recording", a read
    // error); empty unless status() is NotRecording.
    const std::string& problem() const { return m_problem; }

    // Copies the next record into `buffer` (zero-filled first; at most 1023 bytes of the
    // record) and returns 0; returns 1 when the track has no more.
    int read(std::array<std::uint8_t, kRecordBufferSize>& buffer);

    std::size_t recordCount() const { return m_records.size(); }

private:
    struct Record {
        std::uint64_t offset;
        std::uint32_t size;
    };

    ByteSource& m_bytes;
    TrackStatus m_status = TrackStatus::NotRecording;
    std::string m_problem;
    std::vector<Record> m_records;
    std::size_t m_next = 0;
};

}  // namespace qelv::core
