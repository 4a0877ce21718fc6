// The telemetry track of a recording, one record at a time. For an MP4 file it is the track
// whose handler is "sdsm" (sample entry "mp4s"), found through the movie box's sample tables;
// for an AVI recording (a WyFS card's) it is the text stream ("txts", chunks "NNtx").
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "storage/byte_source.h"
#include "telemetry/telemetry_records.h"

namespace qelv::core {

class TextTrackSource {
public:
    // Reads records from `bytes` (which the source keeps, not owns); a recording without a
    // usable telemetry track gives none.
    explicit TextTrackSource(ByteSource& bytes);

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
    std::vector<Record> m_records;
    std::size_t m_next = 0;
};

}  // namespace qelv::core
