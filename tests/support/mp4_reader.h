// Reads a movie box back the way a player does, sharing no code with the one that writes it:
// each track's handler, every sample's file offset and size (the chunk offsets expanded
// through the sample-to-chunk runs and the sample sizes), its sync samples and how many
// samples its time-to-sample table times.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace qelv::test {

struct TrackIndex {
    std::string handler;                                           // "vide", "soun", "sdsm"
    std::vector<std::pair<std::uint64_t, std::uint32_t>> samples;  // file offset, size
    std::optional<std::vector<std::uint32_t>> syncSamples;         // 1-based; none: all are
    std::uint64_t timedSamples = 0;
};

struct MovieIndex {
    std::vector<TrackIndex> tracks;
    std::string error;  // why a player could not use the box; empty when it can
};

namespace mp4read {

using Bytes = std::span<const std::uint8_t>;

inline std::uint64_t be(Bytes b, std::size_t at, std::size_t width) {
    if (at > b.size() || width > b.size() - at) {
        throw std::runtime_error("a field runs past the end of its box");
    }
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
        v = (v << 8) | b[at + i];
    }
    return v;
}

// The payloads of the boxes directly inside `payload`, with their types.
inline std::vector<std::pair<std::string, Bytes>> boxesIn(Bytes payload) {
    std::vector<std::pair<std::string, Bytes>> out;
    for (std::size_t at = 0; at < payload.size();) {
        if (payload.size() - at < 8) {
            throw std::runtime_error("a box header is cut off");
        }
        std::uint64_t size = be(payload, at, 4);
        const std::string type(payload.begin() + static_cast<long>(at) + 4,
                               payload.begin() + static_cast<long>(at) + 8);
        std::size_t header = 8;
        if (size == 1) {
            size = be(payload, at + 8, 8);
            header = 16;
        } else if (size == 0) {
            size = payload.size() - at;
        }
        if (size < header || size > payload.size() - at) {
            throw std::runtime_error("box " + type + " runs past its parent");
        }
        out.emplace_back(type, payload.subspan(at + header, size - header));
        at += size;
    }
    return out;
}

inline std::optional<Bytes> child(Bytes payload, const std::string& type) {
    for (const auto& [t, b] : boxesIn(payload)) {
        if (t == type) {
            return b;
        }
    }
    return std::nullopt;
}

inline Bytes need(Bytes payload, const std::string& type) {
    if (const auto b = child(payload, type)) {
        return *b;
    }
    throw std::runtime_error("no " + type + " box");
}

inline std::vector<std::uint32_t> sampleSizes(Bytes stbl) {
    std::vector<std::uint32_t> sizes;
    if (const auto stsz = child(stbl, "stsz")) {
        const auto fixed = static_cast<std::uint32_t>(be(*stsz, 4, 4));
        const std::uint64_t count = be(*stsz, 8, 4);
        for (std::uint64_t i = 0; i < count; ++i) {
            sizes.push_back(fixed != 0 ? fixed
                                       : static_cast<std::uint32_t>(be(*stsz, 12 + 4 * i, 4)));
        }
        return sizes;
    }
    const Bytes stz2 = need(stbl, "stz2");
    const std::uint64_t bits = be(stz2, 7, 1), count = be(stz2, 8, 4);
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t v = be(stz2, 12 + i * bits / 8, bits == 4 ? 1 : bits / 8);
        sizes.push_back(static_cast<std::uint32_t>(bits != 4 ? v : i % 2 == 0 ? v >> 4 : v & 15));
    }
    return sizes;
}

inline std::vector<std::uint64_t> chunkOffsets(Bytes stbl) {
    const auto stco = child(stbl, "stco");
    const Bytes table = stco ? *stco : need(stbl, "co64");
    const std::size_t width = stco ? 4 : 8;
    std::vector<std::uint64_t> offsets;
    for (std::uint64_t i = 0, n = be(table, 4, 4); i < n; ++i) {
        offsets.push_back(be(table, 8 + width * i, width));
    }
    return offsets;
}

inline TrackIndex readTrack(Bytes trak, std::uint64_t fileSize) {
    TrackIndex track;
    const Bytes mdia = need(trak, "mdia");
    const Bytes hdlr = need(mdia, "hdlr");
    be(hdlr, 8, 4);  // the handler type must be there
    track.handler = std::string(hdlr.begin() + 8, hdlr.begin() + 12);
    const Bytes stbl = need(need(mdia, "minf"), "stbl");
    const std::vector<std::uint32_t> sizes = sampleSizes(stbl);
    const std::vector<std::uint64_t> chunks = chunkOffsets(stbl);
    const Bytes stsc = need(stbl, "stsc");
    const std::uint64_t runs = be(stsc, 4, 4);
    if (!chunks.empty() && (runs == 0 || be(stsc, 8, 4) != 1)) {
        throw std::runtime_error(track.handler + ": chunks without a run from chunk 1");
    }
    std::size_t next = 0;  // next sample
    for (std::uint64_t r = 0; r < runs; ++r) {
        const std::uint64_t first = be(stsc, 8 + 12 * r, 4);
        const std::uint64_t last = r + 1 < runs ? be(stsc, 8 + 12 * (r + 1), 4) - 1 : chunks.size();
        if (first == 0 || last < first - 1 || last > chunks.size()) {
            throw std::runtime_error(track.handler +
                                     ": a chunk run names chunks out of order or missing");
        }
        for (std::uint64_t c = first; c <= last; ++c) {
            std::uint64_t at = chunks[c - 1];
            for (std::uint64_t k = be(stsc, 12 + 12 * r, 4); k > 0; --k, ++next) {
                if (next >= sizes.size()) {
                    throw std::runtime_error(track.handler +
                                             ": chunks hold more samples than sized");
                }
                track.samples.emplace_back(at, sizes[next]);
                at += sizes[next];
            }
        }
    }
    if (next != sizes.size()) {
        throw std::runtime_error(track.handler + ": " + std::to_string(sizes.size()) +
                                 " samples sized, chunks hold " + std::to_string(next));
    }
    for (const auto& [offset, size] : track.samples) {
        if (offset + size > fileSize) {
            throw std::runtime_error(track.handler + ": a sample lies past the end of the file");
        }
    }
    if (const auto stss = child(stbl, "stss")) {
        track.syncSamples.emplace();
        for (std::uint64_t i = 0, n = be(*stss, 4, 4); i < n; ++i) {
            track.syncSamples->push_back(static_cast<std::uint32_t>(be(*stss, 8 + 4 * i, 4)));
        }
    }
    const Bytes stts = need(stbl, "stts");
    for (std::uint64_t i = 0, n = be(stts, 4, 4); i < n; ++i) {
        track.timedSamples += be(stts, 8 + 8 * i, 4);
    }
    return track;
}

}  // namespace mp4read

// The movie box at `moovOffset` of `file`.
inline MovieIndex readMovieIndex(mp4read::Bytes file, std::uint64_t moovOffset) {
    MovieIndex index;
    try {
        if (moovOffset + 8 > file.size()) {
            throw std::runtime_error("the movie box lies past the end of the file");
        }
        const mp4read::Bytes rest = file.subspan(moovOffset);
        const std::uint64_t size = mp4read::be(rest, 0, 4);
        if (size < 8 || size > rest.size()) {
            throw std::runtime_error("the movie box runs past the end of the file");
        }
        const auto boxes = mp4read::boxesIn(rest.first(size));
        if (boxes.empty() || boxes[0].first != "moov") {
            throw std::runtime_error("no movie box");
        }
        for (const auto& [type, payload] : mp4read::boxesIn(boxes[0].second)) {
            if (type == "trak") {
                index.tracks.push_back(mp4read::readTrack(payload, file.size()));
            }
        }
    } catch (const std::runtime_error& e) {
        index.error = e.what();
    }
    return index;
}

}  // namespace qelv::test
