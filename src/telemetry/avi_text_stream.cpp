// The text stream of a RIFF AVI recording (a WyFS card's): the stream whose header says
// "txts" in hdrl, its chunks "NNtx" in movi, found through the idx1 index.
#include <algorithm>
#include <cstring>

#include "common/byte_order.h"
#include "telemetry/track_lookup.h"

namespace qelv::core {

namespace {

// What the top-level chunks of the RIFF say.
struct AviLayout {
    std::uint64_t end = 0;  // end of the RIFF data inside the file
    bool streams = false;   // an hdrl list was found
    std::optional<std::string> textId;
    std::uint64_t movi = 0;                                        // offset of the "movi" type
    std::optional<std::pair<std::uint64_t, std::uint64_t>> index;  // idx1 data and size
};

// RIFF chunks in [begin, stop): id, little-endian size, data padded to an even length.
template <typename Visit>
void forEachChunk(BoxReader& r, std::uint64_t begin, std::uint64_t stop, Visit&& visit) {
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
              head->size() == 12 ? std::string(head->begin() + 8, head->end()) : std::string(), at,
              size);
        at += 8 + size + (size & 1);
    }
}

// The id of the first text stream's chunks ("01tx" for stream 1) among the hdrl's strl lists.
std::optional<std::string> textStreamId(BoxReader& r, std::uint64_t at, std::uint64_t size) {
    std::optional<std::string> textId;
    int stream = 0;
    forEachChunk(r, at + 12, at + 8 + size,
                 [&](const std::string& id, const std::string& type, std::uint64_t sat,
                     std::uint64_t ssize) {
                     if (id != "LIST" || type != "strl") {
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
    return textId;
}

AviLayout layoutOf(BoxReader& r, std::uint64_t end) {
    AviLayout layout;
    layout.end = end;
    forEachChunk(
        r, 12, end,
        [&](const std::string& id, const std::string& type, std::uint64_t at, std::uint64_t size) {
            if (id == "LIST" && type == "hdrl") {
                layout.streams = true;
                layout.textId = textStreamId(r, at, size);
            } else if (id == "LIST" && type == "movi") {
                layout.movi = at + 8;
            } else if (id == "idx1") {
                layout.index = std::pair{at + 8, size};
            }
        });
    return layout;
}

}  // namespace

std::optional<TrackLookup> findAviTextStream(BoxReader& r) {
    const auto riff = r.read(0, 12);
    if (!riff || std::memcmp(riff->data(), "RIFF", 4) != 0 ||
        std::memcmp(riff->data() + 8, "AVI ", 4) != 0) {
        return std::nullopt;
    }
    const AviLayout layout =
        layoutOf(r, std::min<std::uint64_t>(r.size(), 8ull + readLe32(riff->data() + 4)));
    if (!layout.streams || layout.movi == 0) {
        return TrackLookup::refused("an AVI without stream headers or data");
    }
    if (!layout.textId) {
        return TrackLookup{TrackStatus::NoTrack, {}, {}};
    }
    const std::uint64_t entries =
        layout.index ? std::min<std::uint64_t>(layout.index->second / 16, kMaxTableEntries) : 0;
    const auto table = layout.index ? r.read(layout.index->first, entries * 16) : std::nullopt;
    if (!table) {
        return TrackLookup::refused("the AVI recording's index is missing or unreadable");
    }
    TrackLookup found{TrackStatus::Found, {}, {}};
    for (std::uint64_t e = 0; e < entries; ++e) {
        const std::uint8_t* entry = table->data() + e * 16;
        if (std::memcmp(entry, layout.textId->data(), 4) != 0) {
            continue;
        }
        const std::uint64_t chunk = layout.movi + readLe32(entry + 8);
        const std::uint32_t size = readLe32(entry + 12);
        const auto head = r.read(chunk, 8);
        if (head && std::memcmp(head->data(), layout.textId->data(), 4) == 0 &&
            chunk + 8 + size <= layout.end) {
            found.records.push_back({chunk + 8, size});
        }
    }
    return found;
}

}  // namespace qelv::core
