#include "telemetry/text_track_source.h"

#include "common/byte_order.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

namespace qelv::core {

namespace {

// Tables are read whole; a hostile count is held to what the box can hold and to this.
constexpr std::uint64_t kMaxEntries = 1u << 22;

struct Box {
    std::string type;
    std::uint64_t payload;  // offset of the payload
    std::uint64_t size;     // payload bytes
};

using core::readBe32;
using core::readLe32;

class Reader {
public:
    explicit Reader(ByteSource& bytes) : m_bytes(bytes) {}
    std::uint64_t size() const { return m_bytes.size(); }

    std::optional<std::vector<std::uint8_t>> read(std::uint64_t offset, std::uint64_t count) {
        if (offset > size() || count > size() - offset || count > (64u << 20)) {
            return std::nullopt;
        }
        std::vector<std::uint8_t> data(static_cast<std::size_t>(count));
        if (m_bytes.read(offset, data) != data.size()) {
            return std::nullopt;
        }
        return data;
    }

    // ISO boxes inside [begin, end): 32-bit sizes, 64-bit ones (size 1) and "to the end" (0).
    std::vector<Box> boxes(std::uint64_t begin, std::uint64_t end) {
        std::vector<Box> out;
        end = std::min(end, size());
        for (std::uint64_t at = begin; at + 8 <= end && out.size() < 4096;) {
            const auto head = read(at, 8);
            if (!head) {
                break;
            }
            std::uint64_t boxSize = readBe32(head->data());
            std::uint64_t header = 8;
            if (boxSize == 1) {
                const auto large = read(at + 8, 8);
                if (!large) {
                    break;
                }
                boxSize =
                    (std::uint64_t{readBe32(large->data())} << 32) | readBe32(large->data() + 4);
                header = 16;
            } else if (boxSize == 0) {
                boxSize = end - at;
            }
            if (boxSize < header || boxSize > end - at) {
                break;
            }
            out.push_back(
                {std::string(head->begin() + 4, head->end()), at + header, boxSize - header});
            at += boxSize;
        }
        return out;
    }

    std::optional<Box> child(const Box& parent, std::string_view type) {
        for (const Box& b : boxes(parent.payload, parent.payload + parent.size)) {
            if (b.type == type) {
                return b;
            }
        }
        return std::nullopt;
    }

    // A full box's table: after version/flags and `skip` more bytes, a 32-bit count and
    // `width` 32-bit words an entry.
    std::vector<std::uint32_t> table(const Box& box, std::uint64_t skip, std::uint64_t width) {
        const auto head = read(box.payload, 8 + skip);
        if (!head || box.size < 8 + skip) {
            return {};
        }
        const std::uint64_t count = std::min<std::uint64_t>(
            {readBe32(head->data() + 4 + skip), (box.size - 8 - skip) / (4 * width), kMaxEntries});
        const auto body = read(box.payload + 8 + skip, count * 4 * width);
        std::vector<std::uint32_t> out;
        out.reserve(body ? count * width : 0);
        if (body) {
            for (std::uint64_t i = 0; i < count * width; ++i) {
                out.push_back(readBe32(body->data() + 4 * i));
            }
        }
        return out;
    }

private:
    ByteSource& m_bytes;
};

struct TrackTables {
    std::vector<std::uint32_t> offsets;  // stco: one per chunk
    std::vector<std::uint32_t> runs;     // stsc: (first chunk, samples per chunk, entry) each
    std::vector<std::uint32_t> sizes;    // stsz table; empty when fixedSize is not 0
    std::uint32_t fixedSize;
    std::uint64_t samples;
};

// The records of a track's tables that lie inside a file of `fileSize` bytes. A chunk takes
// its sample count from the last run of the leading runs that start at or before it (so runs
// out of order end where the first one starts past the chunk). Chunks are numbered upwards, so
// that prefix only grows: runs and chunks are walked together, once each.
std::vector<std::pair<std::uint64_t, std::uint32_t>> chunkRecords(const TrackTables& t,
                                                                  std::uint64_t fileSize) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> records;
    const std::size_t runCount = t.runs.size() / 3;
    std::size_t nextRun = 0;
    std::uint64_t k = 0;
    for (std::size_t chunk = 1; chunk <= t.offsets.size() && k < t.samples; ++chunk) {
        while (nextRun < runCount && t.runs[3 * nextRun] <= chunk) {
            ++nextRun;
        }
        const std::uint64_t perChunk = nextRun == 0 ? 0 : t.runs[3 * (nextRun - 1) + 1];
        std::uint64_t at = t.offsets[chunk - 1];
        for (std::uint64_t j = 0; j < perChunk && k < t.samples; ++j, ++k) {
            const std::uint32_t size = t.fixedSize != 0 ? t.fixedSize : t.sizes[k];
            if (at + size <= fileSize) {
                records.emplace_back(at, size);
            }
            at += size;
        }
    }
    return records;
}

std::vector<std::pair<std::uint64_t, std::uint32_t>> mp4Records(Reader& r) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> records;
    const auto top = r.boxes(0, r.size());
    const auto moov =
        std::find_if(top.begin(), top.end(), [](const Box& b) { return b.type == "moov"; });
    if (moov == top.end()) {
        return records;
    }
    for (const Box& trak : r.boxes(moov->payload, moov->payload + moov->size)) {
        const auto mdia = trak.type == "trak" ? r.child(trak, "mdia") : std::nullopt;
        const auto hdlr = mdia ? r.child(*mdia, "hdlr") : std::nullopt;
        const auto handler = hdlr ? r.read(hdlr->payload + 8, 4) : std::nullopt;
        if (!handler || std::memcmp(handler->data(), "sdsm", 4) != 0) {
            continue;
        }
        const auto minf = r.child(*mdia, "minf");
        const auto stbl = minf ? r.child(*minf, "stbl") : std::nullopt;
        const auto stsd = stbl ? r.child(*stbl, "stsd") : std::nullopt;
        const auto entry = stsd ? r.read(stsd->payload + 8, 8) : std::nullopt;
        if (!entry || std::memcmp(entry->data() + 4, "mp4s", 4) != 0) {
            continue;
        }
        const auto stsz = r.child(*stbl, "stsz");
        const auto stco = r.child(*stbl, "stco");
        const auto stsc = r.child(*stbl, "stsc");
        if (!stsz || !stco || !stsc) {
            continue;
        }
        // stsz: version and flags, one size for all samples (0: a table follows), count.
        const auto sizeHead = stsz->size >= 12 ? r.read(stsz->payload, 12) : std::nullopt;
        if (!sizeHead) {
            continue;
        }
        const std::uint32_t fixedSize = readBe32(sizeHead->data() + 4);
        auto sizes = fixedSize != 0 ? std::vector<std::uint32_t>{} : r.table(*stsz, 4, 1);
        const std::uint64_t samples =
            fixedSize != 0 ? std::min<std::uint64_t>(readBe32(sizeHead->data() + 8), kMaxEntries)
                           : sizes.size();
        const TrackTables tables{r.table(*stco, 0, 1), r.table(*stsc, 0, 3), std::move(sizes),
                                 fixedSize, samples};
        return chunkRecords(tables, r.size());  // the first telemetry track
    }
    return records;
}

std::vector<std::pair<std::uint64_t, std::uint32_t>> aviRecords(Reader& r) {
    std::vector<std::pair<std::uint64_t, std::uint32_t>> records;
    const auto riff = r.read(0, 12);
    if (!riff || std::memcmp(riff->data(), "RIFF", 4) != 0 ||
        std::memcmp(riff->data() + 8, "AVI ", 4) != 0) {
        return records;
    }
    const std::uint64_t end = std::min<std::uint64_t>(r.size(), 8ull + readLe32(riff->data() + 4));
    std::optional<std::string> textId;
    std::uint64_t movi = 0;  // offset of the "movi" type
    std::optional<std::pair<std::uint64_t, std::uint64_t>> index;
    // RIFF chunks: id, little-endian size, data padded to an even length.
    auto chunks = [&](std::uint64_t begin, std::uint64_t stop, auto&& visit) {
        for (std::uint64_t at = begin; at + 8 <= stop;) {
            const auto head = r.read(at, 12 <= stop - at ? 12 : 8);
            if (!head) {
                return;
            }
            const std::uint64_t size = readLe32(head->data() + 4);
            if (size > stop - at - 8) {
                return;
            }
            visit(std::string(head->begin(), head->begin() + 4),
                  head->size() == 12 ? std::string(head->begin() + 8, head->end()) : std::string(),
                  at, size);
            at += 8 + size + (size & 1);
        }
    };
    chunks(
        12, end,
        [&](const std::string& id, const std::string& type, std::uint64_t at, std::uint64_t size) {
            if (id == "LIST" && type == "hdrl") {
                int stream = 0;
                chunks(at + 12, at + 8 + size,
                       [&](const std::string& sid, const std::string& stype, std::uint64_t sat,
                           std::uint64_t ssize) {
                           if (sid != "LIST" || stype != "strl") {
                               return;
                           }
                           const auto strh = r.read(sat + 12, 12);
                           if (strh && std::memcmp(strh->data(), "strh", 4) == 0 && ssize >= 16 &&
                               std::memcmp(strh->data() + 8, "txts", 4) == 0 && !textId) {
                               textId = std::string{static_cast<char>('0' + stream / 10),
                                                    static_cast<char>('0' + stream % 10), 't', 'x'};
                           }
                           ++stream;
                       });
            } else if (id == "LIST" && type == "movi") {
                movi = at + 8;
            } else if (id == "idx1") {
                index = std::pair{at + 8, size};
            }
        });
    if (!textId || movi == 0 || !index) {
        return records;
    }
    const std::uint64_t entries = std::min<std::uint64_t>(index->second / 16, kMaxEntries);
    const auto table = r.read(index->first, entries * 16);
    if (!table) {
        return records;
    }
    for (std::uint64_t e = 0; e < entries; ++e) {
        const std::uint8_t* entry = table->data() + e * 16;
        if (std::memcmp(entry, textId->data(), 4) != 0) {
            continue;
        }
        const std::uint64_t chunk = movi + readLe32(entry + 8);
        const std::uint32_t size = readLe32(entry + 12);
        const auto head = r.read(chunk, 8);
        if (head && std::memcmp(head->data(), textId->data(), 4) == 0 && chunk + 8 + size <= end) {
            records.emplace_back(chunk + 8, size);
        }
    }
    return records;
}

}  // namespace

TextTrackSource::TextTrackSource(ByteSource& bytes) : m_bytes(bytes) {
    Reader reader(bytes);
    auto found = aviRecords(reader);
    if (found.empty()) {
        found = mp4Records(reader);
    }
    for (const auto& [offset, size] : found) {
        m_records.push_back({offset, size});
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
