#include "platform/mount_table.h"

#include <algorithm>
#include <cctype>
#include <sstream>

#include "common/text_file.h"

namespace qelv::platform {

namespace {

constexpr std::size_t kMaxTableBytes = 16u << 20;

// The kernel escapes blanks, tabs, newlines and backslashes in paths as three octal digits.
std::string unescape(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            std::isdigit(static_cast<unsigned char>(text[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(text[i + 3]))) {
            out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                            (text[i + 3] - '0')));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

}  // namespace

// A line: mount id, parent id, MAJ:MIN, root, mount point, options, optional fields, "-",
// file-system type, source, super options.
std::vector<MountEntry> readMountTable(const std::filesystem::path& mountInfo) {
    std::vector<MountEntry> entries;
    const auto text = core::readTextFile(mountInfo, kMaxTableBytes);
    if (!text) {
        return entries;
    }
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;) {
            words.push_back(word);
        }
        const auto dash = std::find(words.begin(), words.end(), "-");
        if (words.size() < 6 || dash == words.end() || dash - words.begin() < 6 ||
            words.end() - dash < 3) {
            continue;
        }
        entries.push_back({words[2], unescape(*(dash + 2)), unescape(words[4]), *(dash + 1)});
    }
    return entries;
}

// A header line, then one line per area: file name, type, size, used, priority.
std::optional<std::vector<std::string>> readSwaps(const std::filesystem::path& swaps) {
    std::error_code error;
    if (!std::filesystem::exists(swaps, error) && !error) {
        return std::vector<std::string>{};
    }
    const auto text = core::readTextFile(swaps, kMaxTableBytes);
    if (!text) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::istringstream in(*text);
    std::string line;
    std::getline(in, line);  // the header
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        if (std::string name; fields >> name) {
            names.push_back(unescape(name));
        }
    }
    return names;
}

}  // namespace qelv::platform
