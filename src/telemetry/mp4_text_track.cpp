// The telemetry track of an MP4 recording: moov/trak/mdia with handler "sdsm", sample entry
// "mp4s", and its stsz (sizes), stco (chunk offsets) and stsc (samples per chunk) tables.
#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "telemetry/track_lookup.h"

namespace qelv::core {

namespace {

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
std::vector<TrackRecord> chunkRecords(const TrackTables& t, std::uint64_t fileSize) {
    std::vector<TrackRecord> records;
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
                records.push_back({at, size});
            }
            at += size;
        }
    }
    return records;
}

// The tables of a telemetry track's stbl; nothing when one is missing or unreadable.
std::optional<TrackTables> telemetryTables(BoxReader& r, const Box& stbl) {
    const auto stsz = r.child(stbl, "stsz");
    const auto stco = r.child(stbl, "stco");
    const auto stsc = r.child(stbl, "stsc");
    // stsz: version and flags, one size for all samples (0: a table follows), count.
    const auto sizeHead = stsz && stsz->size >= 12 ? r.read(stsz->payload, 12) : std::nullopt;
    if (!sizeHead || !stco || !stsc) {
        return std::nullopt;
    }
    const std::uint32_t fixedSize = readBe32(sizeHead->data() + 4);
    auto sizes = fixedSize != 0 ? std::vector<std::uint32_t>{} : r.table(*stsz, 4, 1);
    const std::uint64_t samples =
        fixedSize != 0 ? std::min<std::uint64_t>(readBe32(sizeHead->data() + 8), kMaxTableEntries)
                       : sizes.size();
    return TrackTables{r.table(*stco, 0, 1), r.table(*stsc, 0, 3), std::move(sizes), fixedSize,
                       samples};
}

enum class TrakKind { Unreadable, Other, Telemetry };

// What a trak box is; for the telemetry track, its stbl.
TrakKind kindOf(BoxReader& r, const Box& trak, std::optional<Box>& stbl) {
    const auto mdia = trak.type == "trak" ? r.child(trak, "mdia") : std::nullopt;
    const auto hdlr = mdia ? r.child(*mdia, "hdlr") : std::nullopt;
    const auto handler = hdlr && hdlr->size >= 12 ? r.read(hdlr->payload + 8, 4) : std::nullopt;
    if (!handler) {
        return TrakKind::Unreadable;
    }
    if (std::memcmp(handler->data(), "sdsm", 4) != 0) {
        return TrakKind::Other;
    }
    const auto minf = r.child(*mdia, "minf");
    stbl = minf ? r.child(*minf, "stbl") : std::nullopt;
    const auto stsd = stbl ? r.child(*stbl, "stsd") : std::nullopt;
    const auto entry = stsd ? r.read(stsd->payload + 8, 8) : std::nullopt;
    return entry && std::memcmp(entry->data() + 4, "mp4s", 4) == 0 ? TrakKind::Telemetry
                                                                   : TrakKind::Other;
}

}  // namespace

TrackLookup findMp4TextTrack(BoxReader& r) {
    const auto top = r.boxes(0, r.size());
    const auto has = [&](const char* type) {
        return std::find_if(top.begin(), top.end(), [&](const Box& b) { return b.type == type; });
    };
    const auto moov = has("moov");
    if (moov == top.end()) {
        return TrackLookup::refused(has("mdat") != top.end()
                                        ? "an unfinished recording: it has no movie box"
                                        : "not an MP4 or AVI recording");
    }
    bool anyTrack = false;
    bool damagedTelemetry = false;
    for (const Box& trak : r.boxes(moov->payload, moov->payload + moov->size)) {
        std::optional<Box> stbl;
        const TrakKind kind = kindOf(r, trak, stbl);
        anyTrack = anyTrack || kind != TrakKind::Unreadable;
        if (kind != TrakKind::Telemetry) {
            continue;
        }
        const auto tables = telemetryTables(r, *stbl);
        if (!tables) {
            damagedTelemetry = true;
            continue;
        }
        return {TrackStatus::Found, {}, chunkRecords(*tables, r.size())};
    }
    if (damagedTelemetry) {
        return TrackLookup::refused("the telemetry track's tables are damaged");
    }
    if (!anyTrack) {
        return TrackLookup::refused("the movie box holds no readable track");
    }
    return {TrackStatus::NoTrack, {}, {}};
}

}  // namespace qelv::core
