#include "telemetry/text_track_source.h"

#include <algorithm>

#include "telemetry/track_lookup.h"

namespace qelv::core {

TextTrackSource::TextTrackSource(ByteSource& bytes) : m_bytes(bytes) {
    BoxReader reader(bytes);
    std::optional<TrackLookup> found = findAviTextStream(reader);
    if (!found) {
        found = findMp4TextTrack(reader);
    }
    // A read error may have hidden the track: say so rather than what was found.
    if (!reader.error().empty()) {
        found = TrackLookup::refused("cannot read the file: " + reader.error());
    }
    m_status = found->status;
    m_problem = std::move(found->problem);
    m_records.reserve(found->records.size());
    for (const TrackRecord& record : found->records) {
        m_records.push_back({record.offset, record.size});
    }
}

int TextTrackSource::read(std::array<std::uint8_t, kRecordBufferSize>& buffer) {
    buffer.fill(0);
    while (m_next < m_records.size()) {
        const Record& record = m_records[m_next++];
        const std::size_t n = std::min<std::size_t>(record.size, kRecordBufferSize - 1);
        if (m_bytes.read(record.offset, std::span(buffer).first(n)) == n) {
            return 0;
        }
        buffer.fill(0);  // unreadable: on to the next
    }
    return 1;
}

}  // namespace qelv::core
