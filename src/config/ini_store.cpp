#include "config/ini_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <random>

#include "common/posix_io.h"
#include "common/text_file.h"
#include "config/text_rules.h"

namespace qelv::core {

namespace {

constexpr std::string_view kSeparators = " =\r\n\t";

std::vector<std::string_view> tokens(std::string_view line, std::size_t maxTokens) {
    std::vector<std::string_view> out;
    std::size_t pos = line.find_first_not_of(kSeparators);
    while (pos != std::string_view::npos && out.size() < maxTokens) {
        const std::size_t end = line.find_first_of(kSeparators, pos);
        out.push_back(line.substr(pos, end == std::string_view::npos ? end : end - pos));
        pos = end == std::string_view::npos ? end : line.find_first_not_of(kSeparators, end);
    }
    return out;
}

// The file a write replaces: `path`, or the file its chain of links finally names (which
// may not exist yet). Nothing for a link that cannot be read or a loop.
std::optional<std::filesystem::path> writeTarget(const std::filesystem::path& path) {
    std::filesystem::path target = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(target, error))) {
            return target;
        }
        const std::filesystem::path next = std::filesystem::read_symlink(target, error);
        if (error) {
            return std::nullopt;
        }
        target = next.is_absolute() ? next : target.parent_path() / next;
    }
    return std::nullopt;
}

// Whether the viewer may replace `name` in the folder: nothing there yet, or a regular file
// (never a link) it may write. The rename that replaces the file would ignore the file's own
// permissions, so they are asked here. Root passes every permission check, so for root a file
// with no write bit for anyone counts as read-only, as it does for everyone else.
bool mayReplace(int folderFd, const std::string& name, const struct stat& info) {
    if (!S_ISREG(info.st_mode)) {
        return false;
    }
    if (::geteuid() == 0) {
        return (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
    }
    return ::faccessat(folderFd, name.c_str(), W_OK, 0) == 0;
}

// A new, empty file beside `name` with a name no other file has; -1 when none can be made.
int createTemporary(int folderFd, const std::string& name, std::string& tempName) {
    thread_local std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempName = "." + name + "." + std::to_string(random() % 1000000);
        const int fd = ::openat(folderFd, tempName.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

// Replaces `name` in the folder with `content`: written beside it, synced, then renamed over
// it, so that a failure leaves the old file whole. A link at `name` is refused, not followed.
bool replaceFile(int folderFd, const std::string& name, std::string_view content) {
    struct stat old {};
    const bool exists = ::fstatat(folderFd, name.c_str(), &old, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists ? !mayReplace(folderFd, name, old) : errno != ENOENT) {
        return false;
    }
    std::string temp;
    const int fd = createTemporary(folderFd, name, temp);
    if (fd < 0) {
        return false;
    }
    // Keep the permissions the file already had.
    ::fchmod(fd, exists ? (old.st_mode & 07777) : 0644);
    bool ok =
        writeAt(fd, 0,
                std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size())) &&
        ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::renameat(folderFd, temp.c_str(), folderFd, name.c_str()) == 0;
    if (!ok) {
        ::unlinkat(folderFd, temp.c_str(), 0);
        return false;
    }
    // Makes the rename itself durable; a card's FAT driver may refuse to sync a folder, which
    // does not make the write fail.
    ::fsync(folderFd);
    return true;
}

}  // namespace

IniStore::IniStore(std::ostream& diag) : m_diag(diag) {}

void IniStore::registerKey(std::string_view key, std::int32_t defaultValue, std::int32_t upper) {
    if (key.empty() || find(key)) {
        return;
    }
    m_items.push_back({std::string(key), std::to_string(defaultValue), std::string(), upper});
}

std::optional<std::size_t> IniStore::find(std::string_view key) const {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i].name == key) {
            return i;
        }
    }
    return std::nullopt;
}

void IniStore::parseLine(std::string_view line) {
    // The recorder reads its lines as C strings: a NUL byte ends the line there.
    line = line.substr(0, line.find('\0'));
    const auto parts = tokens(line, 2);
    if (parts.empty()) {
        return;
    }
    const auto index = find(parts[0]);
    if (!index) {
        m_diag << "INI ITEM <" << parts[0] << "> is not registered! Ignore it.\n";
        return;
    }
    if (parts.size() > 1) {
        m_items[*index].loadedValue = std::string(parts[1]);
    }
}

bool IniStore::load(const std::filesystem::path& path, std::size_t maxBytes) {
    const std::optional<std::string> text = readTextFile(path, maxBytes);
    if (!text) {
        return false;
    }
    // Whole lines: the recorder writes short ones, and cutting a long line into pieces would
    // only turn its tail into a bogus key. A CR alone ends a line as LF does; the empty line
    // between the CR and LF of a CR LF changes nothing.
    std::string_view content = *text;
    // An editor on a PC may have saved the file with a UTF-8 byte-order mark, which would
    // otherwise become part of the first key and lose that setting.
    if (content.starts_with("\xEF\xBB\xBF")) {
        content.remove_prefix(3);
    }
    for (std::size_t start = 0; start <= content.size();) {
        const std::size_t end = content.find_first_of("\r\n", start);
        parseLine(content.substr(start, end == std::string_view::npos ? end : end - start));
        start = end == std::string_view::npos ? end : end + 1;
    }
    for (Item& item : m_items) {
        item.currentValue = item.loadedValue;
    }
    return true;
}

std::string IniStore::content() const {
    std::string text;
    for (const Item& item : m_items) {
        const std::string line = item.name + "=" + item.currentValue;
        m_diag << line << '\n';
        text += line + "\r\n";
    }
    return text;
}

bool IniStore::write(const std::filesystem::path& path) {
    const std::string text = content();
    const auto target = writeTarget(path);
    if (!target || target->filename().empty()) {
        return false;
    }
    const std::filesystem::path folder =
        target->has_parent_path() ? target->parent_path() : std::filesystem::path(".");
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd < 0) {
        return false;
    }
    const bool ok = replaceFile(folderFd, target->filename().string(), text);
    ::close(folderFd);
    return ok;
}

bool IniStore::writeInFolder(int folderFd, const std::string& name) {
    return replaceFile(folderFd, name, content());
}

std::optional<std::int32_t> IniStore::getInt(std::string_view key) const {
    const auto index = find(key);
    if (!index) {
        return std::nullopt;
    }
    return parseDecimal(m_items[*index].currentValue).value_or(0);
}

bool IniStore::setInt(std::size_t index, std::int32_t value) {
    return setString(index, std::to_string(value));
}

bool IniStore::setString(std::size_t index, std::string_view text) {
    // A separator inside a value would split it on the next load, and a line break would
    // smuggle a line of its own into the recorder's file.
    if (index >= m_items.size() || text.find_first_of(kSeparators) != std::string_view::npos) {
        return false;
    }
    m_items[index].currentValue = std::string(text);
    return true;
}

bool IniStore::remove(std::size_t index) {
    if (index >= m_items.size()) {
        return false;
    }
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

}  // namespace qelv::core
