#include "playback/trip_playlist.h"

#include <array>
#include <cstdio>

#include "playback/player_rules.h"

namespace qelv::media {

TripPlaylist::TripPlaylist(std::vector<Item> items) : m_items(std::move(items)) {}

std::uint64_t TripPlaylist::startMs(std::size_t index) const {
    std::uint64_t at = 0;
    for (std::size_t i = 0; i < index && i < m_items.size(); ++i) {
        if (!m_items[i].skipped) {
            at += m_items[i].lengthMs;
        }
    }
    return at;
}

std::optional<TripPlaylist::Place> TripPlaylist::locate(std::uint64_t tripMs) const {
    std::uint64_t start = 0;
    std::optional<Place> last;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        if (item.skipped) {
            continue;
        }
        // A recording whose length is not known yet takes the moment at its start.
        if (tripMs < start + item.lengthMs || (item.lengthMs == 0 && tripMs == start)) {
            return Place{i, tripMs - start};
        }
        last = Place{i, item.lengthMs > 0 ? item.lengthMs - 1 : 0};
        start += item.lengthMs;
    }
    return last;
}

std::optional<std::size_t> TripPlaylist::following(std::size_t index) const {
    for (std::size_t i = index + 1; i < m_items.size(); ++i) {
        if (!m_items[i].skipped) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> TripPlaylist::preceding(std::size_t index) const {
    for (std::size_t i = std::min(index, m_items.size()); i-- > 0;) {
        if (!m_items[i].skipped) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> TripPlaylist::find(const std::string& path) const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].path == path) {
            return i;
        }
    }
    return std::nullopt;
}

void TripPlaylist::setLength(std::size_t index, std::uint64_t lengthMs) {
    if (index < m_items.size()) {
        m_items[index].lengthMs = lengthMs;
    }
}

void TripPlaylist::skip(std::size_t index) {
    if (index < m_items.size()) {
        m_items[index].skipped = true;
    }
}

std::string tripTimeText(std::uint64_t ms, std::uint64_t tripLengthMs) {
    constexpr std::uint64_t kHourMs = 3'600'000;
    if (tripLengthMs < kHourMs) {
        return timeText(ms);
    }
    const std::uint64_t seconds = ms / 1000;
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 3600),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text.data();
}

}  // namespace qelv::media
