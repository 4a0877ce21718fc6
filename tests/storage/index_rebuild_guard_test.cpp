// What the index rebuild must refuse to write: a walk cut short by a failing card, and files
// that hold no complete sample. Every refused file stays byte for byte as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "storage/index_rebuild.h"
#include "storage/movie_box.h"
#include "support/synthetic_samples.h"
#include "support/temp_dir.h"

namespace qelv::core {
namespace {

using sim::RecordingLayout;
using test::readFile;
using test::TempDir;
using test::unfinishedFile;

// A card with a bad sector: every read that reaches `failAt` stops there with an I/O error,
// as a file read does (the bytes before the sector, then the error).
class FailingSource : public ByteSource {
public:
    FailingSource(int fd, std::uint64_t size, std::uint64_t failAt)
        : m_file(fd, size), m_failAt(failAt) {}
    std::size_t read(std::uint64_t offset, std::span<std::uint8_t> dst) override {
        if (offset + dst.size() <= m_failAt) {
            return m_file.read(offset, dst);
        }
        m_failed = true;
        return offset >= m_failAt ? 0 : m_file.read(offset, dst.first(m_failAt - offset));
    }
    std::uint64_t size() const override { return m_file.size(); }
    std::string error() const override { return m_failed ? "Input/output error" : ""; }

private:
    FileSource m_file;
    std::uint64_t m_failAt;
    bool m_failed = false;
};

// A closed recording: the size at 40 points at its movie box.
std::string completeFile(const RecordingLayout& layout) {
    std::string bytes = unfinishedFile(layout, 0);
    const auto size = static_cast<std::uint32_t>(layout.dataEnd() - 40);
    for (int i = 0; i < 4; ++i) {
        bytes[40 + i] = static_cast<char>(size >> (24 - 8 * i));
    }
    const auto moov = buildMovieBox(layout.tables(), CameraChannel::Front, mp4::kVideo1080);
    return bytes.append(moov.begin(), moov.end());
}

class RebuildGuard : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& bytes) {
        return dir.write("20240131_120000_2CH_N_F.mp4", bytes);
    }
    TempDir dir;
};

TEST_F(RebuildGuard, ReadErrorFailsTheRebuildAndWritesNothing) {
    const RecordingLayout layout(test::frontSeconds(3));
    const std::string unfinished = unfinishedFile(layout, 4096);
    const std::string complete = completeFile(layout);
    struct Case {
        const char* what;
        const std::string& bytes;
        std::uint64_t failAt;
    };
    const Case cases[] = {
        // The walk must not take the bad sector for the end of the samples.
        {"inside a video frame's header", unfinished, layout.offsetOf(40) + 3},
        {"in the bytes read ahead of a frame", unfinished, layout.offsetOf(2) + 100},
        {"at the first sample", unfinished, 48},
        // A closed file whose movie box cannot be read is not an unfinished one.
        {"in the movie box's type", complete, layout.dataEnd() + 5},
        {"in the size field", unfinished, 42},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = write(c.bytes);
        RebuildOptions options;
        options.makeSource = [&](int fd, std::uint64_t size) {
            return std::make_unique<FailingSource>(fd, size, c.failAt);
        };
        const RebuildResult result = rebuildIndex(path, CameraChannel::Front, 0, options);
        EXPECT_EQ(result.outcome, RebuildOutcome::Failed);
        EXPECT_NE(result.reason.find("Input/output error"), std::string::npos) << result.reason;
        EXPECT_TRUE(readFile(path) == c.bytes) << "the file was changed";
    }
}

TEST_F(RebuildGuard, FileShorterThanItsSizeFailsTheRebuild) {
    // The card's file ends before the size the rebuild measured: a short read, not the end.
    const RecordingLayout layout(test::frontSeconds(2));
    const std::string before = unfinishedFile(layout, 0);
    const auto path = write(before);
    RebuildOptions options;
    options.makeSource = [](int fd, std::uint64_t size) {
        return std::make_unique<FileSource>(fd, size + 100000);
    };
    const RebuildResult result = rebuildIndex(path, CameraChannel::Front, 0, options);
    EXPECT_EQ(result.outcome, RebuildOutcome::Failed);
    EXPECT_NE(result.reason.find("ends before"), std::string::npos) << result.reason;
    EXPECT_TRUE(readFile(path) == before) << "the file was changed";
}

// 48 zero bytes (an unfinished size at 40), then `samples`.
// The recorder's leading bytes of an unfinished file: the media-data box at 40, size 0.
std::string afterLeadingZeros(const std::string& samples) {
    return std::string(44, '\0') + "mdat" + samples;
}

// Bytes that can start no sample anywhere: no zero byte (video) and no "G" (records).
std::string noise(std::size_t size) {
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() % 255 + 1);
        if (c == 'G') {
            c = 'H';
        }
    }
    return bytes;
}

TEST_F(RebuildGuard, NothingIsWrittenWithoutOneCompleteSample) {
    const std::string record = "G$GPRMC,120000.00,A,3733.1000,N,12658.6000,E,030.0,090.0,310124";
    struct Case {
        const char* what;
        std::string bytes;
    };
    const Case cases[] = {
        {"a bare sound header before noise", afterLeadingZeros("!" + noise(4000))},
        // The marker lies within the record's 256 bytes, but its 16-byte block is cut off.
        {"a record whose marker block is cut short",
         afterLeadingZeros(record + std::string(180, 'x') + "QELVM" + std::string(5, '\0'))},
        {"a record without a marker, then noise",
         afterLeadingZeros(record + std::string(400, 'x'))},
        {"a video frame running past the end",
         afterLeadingZeros(std::string("\x00\x00\x40\x00\x65\xB8\x00", 7) + noise(2000))},
        // A length of 0 leaves the slice header that made it a frame outside the frame.
        {"a video frame of length 0",
         afterLeadingZeros(std::string("\x00\x00\x00\x00\x41\xE0", 6) + noise(3000))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = write(c.bytes);
        const RebuildResult result = rebuildIndex(path, CameraChannel::Front, 0);
        EXPECT_EQ(result.outcome, RebuildOutcome::Failed);
        EXPECT_EQ(result.reason, "no complete sample");
        EXPECT_TRUE(readFile(path) == c.bytes) << "the file was changed";
    }
}

// Files named like recordings that are something else: without the media-data box at 40
// nothing is written, even when a sample start follows at 48.
TEST_F(RebuildGuard, NothingIsWrittenWithoutTheMediaDataBox) {
    const std::string frame = std::string("\x00\x00\x00\x10\x41\xE0", 6) + std::string(14, '\0');
    const std::string cases[] = {
        "%PDF-1.7 " + noise(31) + std::string(4, '\0') + "XXXX" + frame + noise(5000),
        std::string(48, '\0') + frame + noise(3000),
    };
    for (const std::string& bytes : cases) {
        const auto path = write(bytes);
        const RebuildResult result = rebuildIndex(path, CameraChannel::Front, 0);
        EXPECT_EQ(result.outcome, RebuildOutcome::Failed);
        EXPECT_EQ(result.reason, "not a recording: no media data box at 40");
        EXPECT_TRUE(readFile(path) == bytes) << "the file was changed";
    }
}

TEST_F(RebuildGuard, OneCompleteSampleIsEnough) {
    // A sound frame whose size is known from the frame after it, though that one is cut off.
    const RecordingLayout layout({test::audioSample(200)});
    const std::string before =
        unfinishedFile(layout, 0) + std::string("\x00\x00\x40\x00\x41\xE0", 6) + noise(600);
    const auto path = write(before);
    ASSERT_EQ(rebuildIndex(path, CameraChannel::Front, 0).outcome, RebuildOutcome::Rebuilt);
    const std::string after = readFile(path);
    EXPECT_EQ(after.substr(48, 200), before.substr(48, 200));  // the sound frame is kept
}

}  // namespace
}  // namespace qelv::core
