#include "storage/recording_sort.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "storage/entry_metadata.h"
#include "storage/recording_name.h"

namespace qelv::core {

namespace {

// The recorder's names start with 8 date digits, "_" and 6 time digits.
constexpr std::size_t kDateDigits = 8;
constexpr std::size_t kKeyLength = kDateDigits + 1 + 6;

// What the sort needs of each entry, read once in the entries' own order.
struct SortKeys {
    // Equal for equal name keys, in name-key order (the key itself for the recorder's names,
    // else the key's rank among all keys).
    std::vector<std::uint64_t> key;
    std::vector<bool> companion;
};

// Fields 0 and 1 joined: "20240131" and "235958" give "20240131235958".
std::string nameKey(std::string_view fileName) {
    const std::size_t first = fileName.find('_');
    if (first == std::string_view::npos) {
        return std::string(fileName);
    }
    const std::size_t second = fileName.find('_', first + 1);
    std::string key(fileName.substr(0, first));
    key.append(
        fileName.substr(first + 1, second == std::string_view::npos ? second : second - first - 1));
    return key;
}

// Reads the keys; the order by name key is returned.
std::vector<std::size_t> orderByNameKey(const std::vector<RecordingEntry>& entries, bool descending,
                                        SortKeys& keys) {
    const std::size_t count = entries.size();
    keys.key.assign(count, 0);
    keys.companion.assign(count, false);
    bool numeric = true;
    bool inOrder = true;  // as a folder scan hands them over
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view name = entries[i].fileName;
        keys.companion[i] = isCompanionName(name);
        const auto number = numeric ? numericNameKey(name) : std::nullopt;
        numeric = numeric && number.has_value();
        keys.key[i] = number.value_or(0);
        if (i > 0 && numeric) {
            const std::uint64_t before = keys.key[i - 1];
            inOrder = inOrder && (descending ? before >= keys.key[i] : before <= keys.key[i]);
        }
    }
    std::vector<std::size_t> order(count);
    if (numeric && inOrder) {
        std::iota(order.begin(), order.end(), std::size_t{0});
        return order;
    }
    if (numeric) {
        // The card's names are all the recorder's: plain numbers held beside their index.
        std::vector<std::pair<std::uint64_t, std::size_t>> keyed(count);
        for (std::size_t i = 0; i < count; ++i) {
            keyed[i] = {keys.key[i], i};
        }
        std::sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
            return descending ? a.first > b.first : a.first < b.first;
        });
        for (std::size_t i = 0; i < count; ++i) {
            order[i] = keyed[i].second;
        }
        return order;
    }
    // Any other name: the keys compare as texts; equal texts get the same rank.
    std::vector<std::string> texts;
    texts.reserve(count);
    for (const RecordingEntry& entry : entries) {
        texts.push_back(nameKey(entry.fileName));
    }
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return descending ? texts[a] > texts[b] : texts[a] < texts[b];
    });
    std::uint64_t rank = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0 && texts[order[i]] != texts[order[i - 1]]) {
            ++rank;
        }
        keys.key[order[i]] = rank;
    }
    return order;
}

// Recordings that share a name time are ordered by creation time, then size; only those need
// their file's metadata. A recording's second- and third-camera files share its front file's
// time but are never listed, so where at most one file of the run can be listed, the order
// inside the run shows nowhere: those files keep their name order and no file is read.
void orderRuns(std::vector<RecordingEntry>& entries, std::vector<std::size_t>& order,
               const SortKeys& keys, bool descending) {
    auto byName = [&](std::size_t a, std::size_t b) {
        return entries[a].fileName < entries[b].fileName;
    };
    MetadataReader metadata;
    for (auto run = order.begin(); run != order.end();) {
        auto runEnd = run + 1;
        while (runEnd != order.end() && keys.key[*runEnd] == keys.key[*run]) {
            ++runEnd;
        }
        const auto listable =
            std::count_if(run, runEnd, [&](std::size_t i) { return !keys.companion[i]; });
        if (runEnd - run == 1) {
            // nothing to order
        } else if (listable <= 1) {
            std::sort(run, runEnd, byName);
        } else {
            for (auto it = run; it != runEnd; ++it) {
                metadata.fill(entries[*it]);
            }
            std::sort(run, runEnd, [&](std::size_t a, std::size_t b) {
                const RecordingEntry& x = entries[a];
                const RecordingEntry& y = entries[b];
                if (x.creationTime != y.creationTime) {
                    return descending ? x.creationTime > y.creationTime
                                      : x.creationTime < y.creationTime;
                }
                return x.sizeKB > y.sizeKB;
            });
        }
        run = runEnd;
    }
}

// Puts the entries in `order` in place, following each cycle of the permutation.
void applyOrder(std::vector<RecordingEntry>& entries, const std::vector<std::size_t>& order) {
    std::vector<bool> placed(entries.size(), false);
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (placed[start] || order[start] == start) {
            continue;
        }
        std::size_t at = start;
        RecordingEntry carried = std::move(entries[start]);
        while (order[at] != start) {
            entries[at] = std::move(entries[order[at]]);
            placed[at] = true;
            at = order[at];
        }
        entries[at] = std::move(carried);
        placed[at] = true;
    }
}

}  // namespace

std::optional<std::uint64_t> numericNameKey(std::string_view fileName) {
    if (fileName.size() < kKeyLength || fileName[kDateDigits] != '_' ||
        (fileName.size() > kKeyLength && fileName[kKeyLength] != '_')) {
        return std::nullopt;
    }
    std::uint64_t number = 0;
    for (std::size_t i = 0; i < kKeyLength; ++i) {
        const char c = fileName[i];
        if (i == kDateDigits) {
            continue;
        }
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        number = number * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return number;
}

void sortEntries(RecordingCatalogue& catalogue) {
    auto& entries = catalogue.mutableEntries();
    const bool descending = catalogue.sortMode() == SortMode::Descending;
    SortKeys keys;
    std::vector<std::size_t> order = orderByNameKey(entries, descending, keys);
    orderRuns(entries, order, keys, descending);
    applyOrder(entries, order);
    catalogue.setShown({});
}

}  // namespace qelv::core
