// Registered-key store for the recorder's flat "key=value" settings file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace qelv::core {

// File layout: one "key=value" line per key, CR LF line ends. When reading, blanks, tabs, "="
// and line ends all separate tokens (runs count as one): the first token is the key, the
// second the value, further tokens are ignored. Only registered keys are kept; a write puts
// them back in registration order.
class IniStore {
public:
    struct Item {
        std::string name;          // compared exactly
        std::string loadedValue;   // from the file, or the registered default as "%d"
        std::string currentValue;  // what the next write puts into the file
        std::int32_t upper;        // kept for the caller; the store does not use it
    };

    // `diag` receives the console lines (unregistered keys, every written line).
    explicit IniStore(std::ostream& diag);

    // Ignored for an empty key or one already registered.
    void registerKey(std::string_view key, std::int32_t defaultValue, std::int32_t upper);
    std::optional<std::size_t> find(std::string_view key) const;

    // Far more than a file of short "key=value" lines ever holds.
    static constexpr std::size_t kMaxFileBytes = 1024 * 1024;

    // False when the file cannot be opened for reading, is no regular file (a folder, a FIFO,
    // a device: none is waited on) or holds more than `maxBytes`; then nothing changes.
    // Otherwise every current value becomes its loaded value (the default for a key the file
    // lacks). CR, LF and CR LF all end a line.
    bool load(const std::filesystem::path& path, std::size_t maxBytes = kMaxFileBytes);

    // Writes every item as "name=value" CR LF. The file is written beside the target and then
    // renamed over it, so a failure (full or write-protected card) leaves the old file intact
    // and returns false. A file the viewer may not write (no write permission; for root, no
    // write bit at all) is left alone and gives false. A symbolic link is written through: its
    // target is replaced and the link stays.
    bool write(const std::filesystem::path& path);
    // The same write of `name` inside the open folder `folderFd`, for a caller that has checked
    // the folder itself; a link at `name` is refused (false), never followed.
    bool writeInFolder(int folderFd, const std::string& name);

    // The current value as an integer (0 when it is not a number), or nothing for an
    // unregistered key.
    std::optional<std::int32_t> getInt(std::string_view key) const;
    bool setInt(std::size_t index, std::int32_t value);
    // False for an index outside the list or a text holding a blank, tab, "=" or line end.
    bool setString(std::size_t index, std::string_view text);
    bool remove(std::size_t index);

    const std::vector<Item>& items() const { return m_items; }

    // Applies one line of the file (up to a NUL byte, if it holds one); exposed for the
    // parser's tests and fuzzing.
    void parseLine(std::string_view line);

private:
    // The file's text; every line also goes to the diagnostics.
    std::string content() const;

    std::ostream& m_diag;
    std::vector<Item> m_items;
};

}  // namespace qelv::core
