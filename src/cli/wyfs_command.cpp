#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <span>
#include <utility>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "common/byte_order.h"
#include "common/posix_io.h"
#include "common/utf8.h"
#include "wyfs/wyfs.h"
#include "wyfs/wyfs_listing.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv wyfs mkfs IMAGE --size SIZE        new image (SIZE in bytes, or with K, M, G)\n"
    "       qelv wyfs put IMAGE DIR FILE [--name NAME] [--time EPOCH]\n"
    "       qelv wyfs ls IMAGE [DIR]                 one JSON line per file\n"
    "       qelv wyfs get IMAGE DIR NAME OUT\n"
    "       qelv wyfs info IMAGE                     {\"wyfs\": bool, \"sectors\": int}\n";

std::uint64_t parseSize(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    std::uint64_t unit = 1;
    if (*end == 'K' || *end == 'k') {
        unit = 1ull << 10;
    } else if (*end == 'M' || *end == 'm') {
        unit = 1ull << 20;
    } else if (*end == 'G' || *end == 'g') {
        unit = 1ull << 30;
    }
    if (unit != 1) {
        ++end;
    }
    if (text.empty() || text[0] == '-' || *end != '\0' || errno != 0 || value == 0 ||
        value > (1ull << 44) / unit) {
        throw UsageError("--size is a positive number of bytes, optionally with K, M or G");
    }
    return value * unit;
}

int mkfs(const ParsedOptions& o, std::ostream& err) {
    if (o.positional.size() != 2 || !o.value("--size")) {
        throw UsageError("mkfs takes IMAGE and --size");
    }
    const std::string& image = o.positional[1];
    struct stat info {};
    if (::stat(image.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        err << "qelv wyfs: " << image << " is not an image file; only image files are made here\n";
        return 1;
    }
    wyfs::formatImage(image, parseSize(*o.value("--size")));
    return 0;
}

// Closes a descriptor when it goes out of scope.
struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

struct SourceFile {
    std::vector<std::uint8_t> data;
    std::int32_t modified;  // seconds since 1970
};

// The whole of the regular file at `path`; throws saying what could not be read and why. Opened
// without blocking, so that a pipe given by mistake is refused rather than waited on.
SourceFile readSource(const std::string& path) {
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0) {
        throw std::runtime_error("cannot read " + path + ": " + std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw std::runtime_error("cannot read " + path + ": it is " +
                                 (S_ISDIR(info.st_mode) ? "a folder" : "no regular file"));
    }
    if (static_cast<std::uint64_t>(info.st_size) > 0xFFFFFFFFu) {
        throw std::runtime_error(path + " is larger than the 4 GiB a card file holds");
    }
    SourceFile source{std::vector<std::uint8_t>(static_cast<std::size_t>(info.st_size)),
                      static_cast<std::int32_t>(info.st_mtime)};
    int error = 0;
    if (core::readAt(file.fd, 0, source.data, &error) != source.data.size()) {
        throw std::runtime_error("cannot read " + path + ": " +
                                 (error != 0 ? std::strerror(error) : "it shrank while read"));
    }
    return source;
}

// Card names are listed one per line and become the names of files copied off the card: a
// name with a control character or a slash, or bytes that are no UTF-8, is refused before
// anything is written.
void checkCardName(const std::string& what, const std::string& name) {
    for (std::size_t at = 0; at < name.size();) {
        const auto c = core::decodeUtf8(std::string_view(name).substr(at));
        if (!c) {
            throw std::runtime_error("the card " + what + " name is no valid UTF-8");
        }
        if (c->code < 0x20 || (c->code >= 0x7F && c->code < 0xA0) || c->code == '/') {
            throw std::runtime_error("the card " + what +
                                     " name holds a line break, another control character or "
                                     "a slash");
        }
        at += c->length;
    }
}

int put(const ParsedOptions& o) {
    if (o.positional.size() != 4) {
        throw UsageError("put takes IMAGE DIR FILE");
    }
    const std::string& source = o.positional[3];
    const std::string name =
        o.value("--name").value_or(std::filesystem::path(source).filename().string());
    checkCardName("directory", o.positional[2]);
    checkCardName("file", name);
    const SourceFile file = readSource(source);
    const std::int32_t time =
        o.value("--time") ? static_cast<std::int32_t>(o.integer("--time", 0, INT32_MIN, INT32_MAX))
                          : file.modified;
    auto volume = wyfs::Volume::open(o.positional[1], true);
    if (!volume) {
        throw std::runtime_error(o.positional[1] + " holds no WyFS volume");
    }
    volume->addFile(o.positional[2], name, file.data, time);
    return 0;
}

// Lists through the library's own listing calls, thirty files at a time.
int ls(const ParsedOptions& o, std::ostream& out) {
    if (o.positional.size() < 2 || o.positional.size() > 3) {
        throw UsageError("ls takes IMAGE [DIR]");
    }
    const auto volume = wyfs::Volume::open(o.positional[1]);
    if (!volume) {
        throw std::runtime_error(o.positional[1] + " holds no WyFS volume");
    }
    std::vector<std::string> dirs;
    if (o.positional.size() == 3) {
        dirs.push_back(o.positional[2]);
    } else {
        for (const auto& d : volume->directories()) {
            dirs.push_back(d.name);
        }
    }
    CardDeviceHandle device{};
    if (QV_WyFS_Device_Open(o.positional[1].c_str(), 130, &device) != 0) {
        throw std::runtime_error("cannot open " + o.positional[1]);
    }
    for (const std::string& dir : dirs) {
        for (const wyfs::ListedFile& file : wyfs::listDirectory(&device, dir)) {
            out << JsonObject()
                       .add("dir", dir)
                       .add("name", file.name)
                       .add("id", file.id)
                       .add("size", static_cast<std::int64_t>(file.size))
                       .add("time", file.time)
                       .str()
                << '\n';
        }
    }
    QV_WyFS_Device_Close(&device);
    return 0;
}

// A new file beside a target that becomes the target only when it is whole, and is removed on
// every failure. It gets a name of its own (created exclusively), so that no file of the user's
// is truncated or taken for it.
class NewFile {
public:
    explicit NewFile(std::string target) : m_target(std::move(target)) {
        std::random_device random;
        for (int tries = 0; tries < 100; ++tries) {
            std::string name = m_target + "." + std::to_string(random() % 1000000) + ".partial";
            m_fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_fd >= 0) {
                m_path = std::move(name);
                return;
            }
            if (errno != EEXIST) {
                break;
            }
        }
        fail(errno);
    }
    ~NewFile() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        if (!m_path.empty()) {
            ::unlink(m_path.c_str());
        }
    }
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    void write(std::uint64_t offset, std::span<const std::uint8_t> bytes) const {
        if (!core::writeAt(m_fd, offset, bytes)) {
            fail(errno);
        }
    }
    // Flushes the file to the disk and renames it to the target.
    void keep() {
        int error = ::fsync(m_fd) == 0 ? 0 : errno;
        if (::close(std::exchange(m_fd, -1)) != 0 && error == 0) {
            error = errno;
        }
        if (error == 0 && ::rename(m_path.c_str(), m_target.c_str()) != 0) {
            error = errno;
        }
        if (error != 0) {
            fail(error);
        }
        m_path.clear();
    }

private:
    [[noreturn]] void fail(int error) const {
        throw std::runtime_error("cannot write " + m_target + ": " + std::strerror(error));
    }

    std::string m_target;
    std::string m_path;
    int m_fd = -1;
};

// Throws, before anything is written, for a target that a copied file must not replace: a
// folder, a link, a device or a pipe, or the card image itself.
void checkTarget(const std::string& target, const std::string& image) {
    struct stat info {};
    if (::lstat(target.c_str(), &info) != 0) {
        return;  // a new file; a missing folder fails when the file is made
    }
    if (S_ISDIR(info.st_mode)) {
        throw std::runtime_error(target + " is a folder; give the name of the file to write");
    }
    if (!S_ISREG(info.st_mode)) {
        throw std::runtime_error(target + " is no regular file and is left as it is");
    }
    struct stat imageInfo {};
    if (::stat(image.c_str(), &imageInfo) == 0 && imageInfo.st_dev == info.st_dev &&
        imageInfo.st_ino == info.st_ino) {
        throw std::runtime_error(target + " is the card image itself");
    }
}

int get(const ParsedOptions& o) {
    if (o.positional.size() != 5) {
        throw UsageError("get takes IMAGE DIR NAME OUT");
    }
    const auto volume = wyfs::Volume::open(o.positional[1]);
    const auto* file = volume ? volume->file(o.positional[2], o.positional[3]) : nullptr;
    if (file == nullptr) {
        throw std::runtime_error("no file " + o.positional[2] + "/" + o.positional[3]);
    }
    checkTarget(o.positional[4], o.positional[1]);
    NewFile out(o.positional[4]);
    std::vector<std::uint8_t> buffer(1 << 20);
    for (std::uint64_t offset = 0; offset < file->size;) {
        const std::int64_t n = volume->read(*file, offset, buffer);
        if (n <= 0) {
            throw std::runtime_error("cannot read the file from the volume");
        }
        out.write(offset, std::span(buffer).first(static_cast<std::size_t>(n)));
        offset += static_cast<std::uint64_t>(n);
    }
    out.keep();
    return 0;
}

int info(const ParsedOptions& o, std::ostream& out) {
    if (o.positional.size() != 2) {
        throw UsageError("info takes IMAGE");
    }
    CardMasterInfo master{};
    const bool wyfs = QV_WyFS_Check_WyFS_partition(o.positional[1].c_str()) != 0 &&
                      QV_WyFS_Get_Master_Device_Info(o.positional[1].c_str(), &master) == 0;
    const std::uint32_t sectors =
        std::uint32_t{master.bytes[12]} | (std::uint32_t{master.bytes[13]} << 8) |
        (std::uint32_t{master.bytes[14]} << 16) | (std::uint32_t{master.bytes[15]} << 24);
    out << JsonObject()
               .add("wyfs", wyfs)
               .add("sectors", static_cast<std::int64_t>(wyfs ? sectors : 0))
               .str()
        << '\n';
    return 0;
}

}  // namespace

int runWyfsCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    try {
        const ParsedOptions o = parseOptions(args, {"--size", "--name", "--time"});
        if (o.help) {
            out << kUsage;
            return 0;
        }
        const std::string verb = o.positional.empty() ? "" : o.positional[0];
        if (verb == "mkfs") {
            return mkfs(o, err);
        }
        if (verb == "put") {
            return put(o);
        }
        if (verb == "ls") {
            return ls(o, out);
        }
        if (verb == "get") {
            return get(o);
        }
        if (verb == "info") {
            return info(o, out);
        }
        throw UsageError("unknown action '" + verb + "'");
    } catch (const UsageError& e) {
        err << "qelv wyfs: " << e.what() << '\n' << kUsage;
        return 2;
    } catch (const std::exception& e) {
        err << "qelv wyfs: " << e.what() << '\n';
        return 1;
    }
}

}  // namespace qelv::cli
