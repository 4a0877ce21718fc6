#include "storage/index_rebuild.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "common/byte_order.h"
#include "common/posix_io.h"
#include "storage/movie_box.h"
#include "storage/mp4_format.h"

namespace qelv::core {

namespace {

bool matches(const std::uint8_t* p, std::string_view text) {
    return std::memcmp(p, text.data(), text.size()) == 0;
}

RebuildResult failed(std::string reason) {
    return {RebuildOutcome::Failed, std::move(reason)};
}

enum class ReadResult { Whole, PastTheEnd, Failed };

// Reads all of dst: fewer bytes are fine only where the data ends.
ReadResult readWhole(ByteSource& source, std::uint64_t offset, std::span<std::uint8_t> dst) {
    const std::size_t n = source.read(offset, dst);
    if (n == dst.size()) {
        return ReadResult::Whole;
    }
    return offset + n < source.size() ? ReadResult::Failed : ReadResult::PastTheEnd;
}

// Writes the box, then the size that makes the file complete, each flushed to the card.
RebuildResult writeIndex(const std::filesystem::path& path, const struct stat& walked,
                         std::span<const std::uint8_t> moov, std::uint64_t placement) {
    const Fd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        return failed("cannot open for writing: " + std::string(std::strerror(errno)));
    }
    struct stat now {};
    if (::fstat(fd.get(), &now) != 0 || now.st_ino != walked.st_ino ||
        now.st_dev != walked.st_dev || now.st_size != walked.st_size) {
        return failed("the file changed while it was read");
    }
    const auto size = static_cast<std::uint32_t>(placement - mp4::kMediaDataOffset);
    const std::array<std::uint8_t, 4> sizeBytes{
        static_cast<std::uint8_t>(size >> 24), static_cast<std::uint8_t>(size >> 16),
        static_cast<std::uint8_t>(size >> 8), static_cast<std::uint8_t>(size)};
    if (!writeAt(fd.get(), placement, moov) || ::fdatasync(fd.get()) != 0) {
        return failed("cannot write the movie box: " + std::string(std::strerror(errno)));
    }
    if (!writeAt(fd.get(), mp4::kMediaDataOffset, sizeBytes) || ::fdatasync(fd.get()) != 0) {
        return failed("cannot write the data size: " + std::string(std::strerror(errno)));
    }
    return {RebuildOutcome::Rebuilt, {}};
}

// Whether the open file's real path lies inside `root`. The path comes from the descriptor,
// so a link swapped after the check cannot redirect the write (the write reopens the path and
// must find the same file).
bool openedInside(int fd, const std::filesystem::path& path, const std::filesystem::path& root) {
    std::error_code error;
    const std::filesystem::path realRoot = std::filesystem::canonical(root, error);
    if (error) {
        return false;
    }
    std::filesystem::path real =
        std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(fd), error);
    if (error) {
        real = std::filesystem::canonical(path, error);
        if (error) {
            return false;
        }
    }
    const auto [rootEnd, realAt] =
        std::mismatch(realRoot.begin(), realRoot.end(), real.begin(), real.end());
    return rootEnd == realRoot.end() && realAt != real.end();
}

// Whether the file is already complete (Intact) or cannot be told (Failed); nothing when it
// is unfinished and its samples are to be walked.
std::optional<RebuildResult> closedFileCheck(ByteSource& source) {
    std::array<std::uint8_t, 4> sizeField{};
    switch (readWhole(source, mp4::kMediaDataOffset, sizeField)) {
        case ReadResult::Failed:
            return failed("cannot read the data size: " + shortReadReason(source));
        case ReadResult::PastTheEnd:
            return failed("too short to hold a data box");
        case ReadResult::Whole:
            break;
    }
    // The recorder opens its media-data box at 40 before the first sample: without it the file
    // is something else named like a recording, and nothing may be written over it.
    std::array<std::uint8_t, 4> dataType{};
    if (readWhole(source, mp4::kMediaDataOffset + 4, dataType) == ReadResult::Whole &&
        !matches(dataType.data(), "mdat")) {
        return failed("not a recording: no media data box at 40");
    }
    const std::uint32_t dataSize = readBe32(sizeField.data());
    if (dataSize != 0) {
        // Past the end of the file the size is a writer's leftover and the walk decides; a
        // closed file whose box cannot be read must not be taken for an unfinished one.
        std::array<std::uint8_t, 4> type{};
        const ReadResult typeRead = readWhole(source, mp4::kMediaDataOffset + 4 + dataSize, type);
        if (typeRead == ReadResult::Failed) {
            return failed("cannot read the movie box: " + shortReadReason(source));
        }
        if (typeRead == ReadResult::Whole && matches(type.data(), "moov")) {
            return RebuildResult{RebuildOutcome::Intact, {}};
        }
    }
    return std::nullopt;
}

}  // namespace

RebuildResult rebuildIndex(const std::filesystem::path& path, CameraChannel camera, int sizeClass,
                           const RebuildOptions& options) {
    // Non-blocking, so that a FIFO named like a recording cannot hang the listing.
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        RebuildResult result = failed("cannot open: " + std::string(std::strerror(errno)));
        result.openFailed = true;
        return result;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return failed("not a regular file");
    }
    if (!options.within.empty() && !openedInside(fd.get(), path, options.within)) {
        return failed("outside the source folder");
    }
    const auto fileSize = static_cast<std::uint64_t>(info.st_size);
    const std::unique_ptr<ByteSource> made =
        options.makeSource ? options.makeSource(fd.get(), fileSize) : nullptr;
    FileSource fileSource(fd.get(), fileSize);
    ByteSource& source = made ? *made : fileSource;
    ::posix_fadvise(fd.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    if (const auto closed = closedFileCheck(source)) {
        return *closed;
    }

    const SampleWalk walk = walkSamples(source);
    if (!walk.readError.empty()) {
        return failed(walk.readError);
    }
    const auto placement = movieBoxPlacement(walk);
    if (!placement) {
        return failed("too little data");
    }
    // One header with nothing known after it is no evidence of a recording: writing a box
    // over such a file would destroy whatever it is.
    if (!walk.tables.hasCompleteSample()) {
        return failed("no complete sample");
    }
    if (*placement - mp4::kMediaDataOffset > 0xFFFFFFFFull) {
        return failed("too large for a 32-bit data box");
    }
    const std::vector<std::uint8_t> moov =
        buildMovieBox(walk.tables, camera, videoFormatFor(camera, sizeClass));
    return writeIndex(path, info, moov, *placement);
}

}  // namespace qelv::core
