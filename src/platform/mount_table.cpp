#include "platform/mount_table.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

namespace qelv::platform {

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as three octal digits.
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
    std::ifstream in(mountInfo);
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

}  // namespace qelv::platform
