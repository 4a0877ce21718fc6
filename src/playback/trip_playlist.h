// A trip played as one: its recordings back to back on one time line, each starting where the
// ones before it end. Lengths come from the trip's reading and are replaced by a recording's
// own once it is opened; a recording that cannot be played is skipped and takes no time.
// Pure bookkeeping: nothing is opened or read here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelv::media {

class TripPlaylist {
public:
    struct Item {
        std::size_t id = 0;          // the caller's number for the recording
        std::string path;            // its front file
        std::uint64_t lengthMs = 0;  // 0 while not known
        bool skipped = false;        // could not be played
    };
    // Where a moment of the trip falls: the recording and the offset into it.
    struct Place {
        std::size_t index = 0;
        std::uint64_t offsetMs = 0;
        bool operator==(const Place&) const = default;
    };

    TripPlaylist() = default;
    explicit TripPlaylist(std::vector<Item> items);

    std::size_t size() const { return m_items.size(); }
    const Item& item(std::size_t index) const { return m_items.at(index); }
    // The trip's time where recording `index` starts; the whole length for size().
    std::uint64_t startMs(std::size_t index) const;
    std::uint64_t lengthMs() const { return startMs(m_items.size()); }
    // The recording playing at trip time `tripMs` (ms past the end: the last moment of the
    // last recording that plays); nothing when no recording can be played.
    std::optional<Place> locate(std::uint64_t tripMs) const;
    // The next (or previous) recording from `index` that is not skipped.
    std::optional<std::size_t> following(std::size_t index) const;
    std::optional<std::size_t> preceding(std::size_t index) const;
    // The index of the recording whose front file is `path`.
    std::optional<std::size_t> find(const std::string& path) const;

    void setLength(std::size_t index, std::uint64_t lengthMs);
    void skip(std::size_t index);

private:
    std::vector<Item> m_items;
};

// The trip's read-outs: "MM:SS", or "HH:MM:SS" when the trip lasts an hour or more (so that
// the position and the length read alike).
std::string tripTimeText(std::uint64_t ms, std::uint64_t tripLengthMs);

}  // namespace qelv::media
