#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "common/byte_order.h"
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

int put(const ParsedOptions& o) {
    if (o.positional.size() != 4) {
        throw UsageError("put takes IMAGE DIR FILE");
    }
    const std::string& source = o.positional[3];
    std::ifstream in(source, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + source);
    }
    const std::vector<std::uint8_t> data{std::istreambuf_iterator<char>(in), {}};
    std::int32_t time = 0;
    if (o.value("--time")) {
        time = static_cast<std::int32_t>(o.integer("--time", 0, INT32_MIN, INT32_MAX));
    } else {
        struct stat info {};
        time = ::stat(source.c_str(), &info) == 0 ? static_cast<std::int32_t>(info.st_mtime) : 0;
    }
    const std::string name =
        o.value("--name").value_or(std::filesystem::path(source).filename().string());
    auto volume = wyfs::Volume::open(o.positional[1], true);
    if (!volume) {
        throw std::runtime_error(o.positional[1] + " holds no WyFS volume");
    }
    volume->addFile(o.positional[2], name, data, time);
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

int get(const ParsedOptions& o) {
    if (o.positional.size() != 5) {
        throw UsageError("get takes IMAGE DIR NAME OUT");
    }
    const auto volume = wyfs::Volume::open(o.positional[1]);
    const auto* file = volume ? volume->file(o.positional[2], o.positional[3]) : nullptr;
    if (file == nullptr) {
        throw std::runtime_error("no file " + o.positional[2] + "/" + o.positional[3]);
    }
    const std::string temp = o.positional[4] + ".partial";
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    std::vector<std::uint8_t> buffer(1 << 20);
    for (std::uint64_t offset = 0; offset < file->size;) {
        const std::int64_t n = volume->read(*file, offset, buffer);
        if (n <= 0) {
            std::filesystem::remove(temp);
            throw std::runtime_error("cannot read the file from the volume");
        }
        out.write(reinterpret_cast<const char*>(buffer.data()), n);
        offset += static_cast<std::uint64_t>(n);
    }
    out.close();
    if (!out) {
        std::filesystem::remove(temp);
        throw std::runtime_error("cannot write " + o.positional[4]);
    }
    std::filesystem::rename(temp, o.positional[4]);
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
