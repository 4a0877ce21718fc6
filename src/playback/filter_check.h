// Whether the media elements the playback graph is built from are installed, and the
// decoder whitelists the viewer keeps in its settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::media {

// 1 when everything is there; -1 the container parsers (qtdemux, avidemux) are missing, -2
// the H.264 decoder or the rest of the video chain, -3 the AAC decoder, -4 the
// picture-settings elements (videobalance, videoflip).
std::int32_t checkFilters();

// The sound chain's elements that cannot be made; empty when recordings play with sound.
std::vector<std::string> missingSoundElements();

// True when recordings can be played: the parsers and the video chain can be made (the
// viewer shows "Not Find QV filter" otherwise). A missing sound chain is said once on
// standard error and recordings play silently.
bool ensureFilters();

// A key-value store of the user's settings (the application keeps it in QSettings).
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> read(std::string_view key) const = 0;
    // False when the key cannot be written; keys that do not exist are not created.
    virtual bool write(std::string_view key, const std::string& value) = 0;
};

inline constexpr std::string_view kWhitelistProgram = "QELV Viewer.exe";
inline constexpr std::string_view kWhitelistKeys[] = {
    "SOFTWARE/QV/whitelist", "SOFTWARE/GNU/whitelist", "SOFTWARE/GNU/ffdshow/whitelist"};

// Appends ";QELV Viewer.exe" to each whitelist that does not name the program yet.
void extendWhitelists(SettingsStore& settings);

}  // namespace qelv::media
