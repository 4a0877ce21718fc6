// Judges the movie box of a recording against where the recorder put every sample.
#pragma once

#include <string>
#include <vector>

#include "simulator/recording_layout.h"
#include "support/mp4_reader.h"

namespace qelv::test {

namespace detail {

inline std::string sampleText(const std::vector<std::pair<std::uint64_t, std::uint32_t>>& list,
                              std::size_t i) {
    return i < list.size() ? "at " + std::to_string(list[i].first) + " (" +
                                 std::to_string(list[i].second) + " bytes)"
                           : "nowhere";
}

}  // namespace detail

// What a player would find wrong in the movie box the size at 40 of `file` points at, measured
// against the recorder's placement of every sample: each track lists exactly the samples of
// its kind, in order, at their offsets and with their sizes, and times each of them; the
// video track's sync samples are the key frames; the box overwrites no sample. Empty when
// nothing is wrong.
inline std::string indexDifference(mp4read::Bytes file,
                                   const std::vector<sim::PlacedSample>& placed) {
    std::uint64_t moovAt = 0;
    try {
        moovAt = 40 + mp4read::be(file, 40, 4);
    } catch (const std::runtime_error& e) {
        return e.what();
    }
    const MovieIndex index = readMovieIndex(file, moovAt);
    if (!index.error.empty()) {
        return index.error;
    }
    std::string out;
    if (!placed.empty() && moovAt < placed.back().offset + placed.back().size) {
        out += "the movie box at " + std::to_string(moovAt) + " overwrites samples; ";
    }
    const std::pair<std::string, sim::SampleKind> kinds[] = {{"vide", sim::SampleKind::Video},
                                                             {"soun", sim::SampleKind::Audio},
                                                             {"sdsm", sim::SampleKind::Telemetry}};
    for (const auto& [handler, kind] : kinds) {
        std::vector<std::pair<std::uint64_t, std::uint32_t>> written;
        std::vector<std::uint32_t> keys;
        for (const sim::PlacedSample& p : placed) {
            if (p.kind == kind) {
                written.emplace_back(p.offset, p.size);
                if (p.key) {
                    keys.push_back(static_cast<std::uint32_t>(written.size()));
                }
            }
        }
        std::vector<const TrackIndex*> tracks;
        for (const TrackIndex& t : index.tracks) {
            if (t.handler == handler) {
                tracks.push_back(&t);
            }
        }
        if (tracks.size() != 1) {
            out += handler + ": " + std::to_string(tracks.size()) + " tracks; ";
            continue;
        }
        const TrackIndex& track = *tracks[0];
        if (track.samples != written) {
            std::size_t i = 0;
            while (i < written.size() && i < track.samples.size() &&
                   track.samples[i] == written[i]) {
                ++i;
            }
            out += handler + ": " + std::to_string(track.samples.size()) + " samples listed, " +
                   std::to_string(written.size()) + " written; sample " + std::to_string(i + 1) +
                   " listed " + detail::sampleText(track.samples, i) + ", written " +
                   detail::sampleText(written, i) + "; ";
        }
        if (track.timedSamples != written.size()) {
            out += handler + ": " + std::to_string(track.timedSamples) + " samples timed; ";
        }
        if (kind == sim::SampleKind::Video && track.syncSamples != keys) {
            std::string listed;
            for (std::uint32_t n : track.syncSamples.value_or(std::vector<std::uint32_t>{})) {
                listed += " " + std::to_string(n);
            }
            out += "vide: sync samples" + (track.syncSamples ? listed : " (all)") + ", " +
                   std::to_string(keys.size()) + " key frames written; ";
        }
    }
    return out;
}

}  // namespace qelv::test
