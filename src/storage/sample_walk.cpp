#include "storage/sample_walk.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/byte_order.h"
#include "storage/mp4_format.h"

namespace qelv::core {

namespace {

constexpr std::size_t kAudioWindow = 512;
constexpr std::size_t kAudioSearchEnd = 505;  // last start index searched in the window
constexpr std::size_t kRecordWindow = 256;
constexpr std::size_t kRecordSearchEnd = 250;
// Sample tables hold 32-bit offsets.
constexpr std::uint64_t kLastOffset = 0xFFFFFFFFull - (1u << 24) - 8;

bool matches(const std::uint8_t* p, std::string_view text) {
    return std::memcmp(p, text.data(), text.size()) == 0;
}

// p[0..6] must be readable.
bool isVideoStart(const std::uint8_t* p) {
    return p[0] == 0 && ((p[4] == mp4::kPFrameStart[0] && p[5] == mp4::kPFrameStart[1]) ||
                         (p[4] == mp4::kKeyFrameStart[0] && p[5] == mp4::kKeyFrameStart[1] &&
                          p[6] == mp4::kKeyFrameStart[2]));
}

bool isKeyFrame(const std::uint8_t* p) {
    return p[4] == mp4::kKeyFrameStart[0];
}

// p[0..6] must be readable.
bool isRecordStart(const std::uint8_t* p) {
    return matches(p, mp4::kGpsRecordStart) || matches(p, mp4::kNoFixRecordStart);
}

std::optional<std::size_t> findMarker(std::span<const std::uint8_t> window, std::size_t from,
                                      std::size_t last) {
    for (std::size_t y = from; y <= last && y + mp4::kSensorMarker.size() <= window.size(); ++y) {
        if (matches(window.data() + y, mp4::kSensorMarker)) {
            return y;
        }
    }
    return std::nullopt;
}

class Walker {
public:
    explicit Walker(ByteSource& source) : m_source(source) {}

    SampleWalk run() {
        m_walk.referencedEnd = mp4::kFirstSampleOffset;
        m_pos = mp4::kFirstSampleOffset;
        while (step()) {
        }
        closeRun();
        return std::move(m_walk);
    }

private:
    // Handles the sample at m_pos; false when the data ends there. One read takes the 8-byte
    // header and the 512 bytes after it: a sound frame's search window, a record's 256 bytes
    // and, often, the header of the frame that follows a sound frame.
    bool step() {
        if (m_pos > kLastOffset) {
            return end(m_pos, 8);
        }
        const std::size_t n = m_source.read(m_pos, m_ahead);
        const std::span<const std::uint8_t> ahead(m_ahead.data(), n);
        if (n < m_ahead.size() && m_pos + n < m_source.size()) {
            return readFailed(m_pos + n);
        }
        if (n < 8) {
            return end(m_pos + n, 8);
        }
        const std::uint8_t* h = ahead.data();
        if (h[0] == mp4::kAudioStart) {
            settleOpenRecord();
            return audioFrame(ahead);
        }
        if (h[0] == 'G') {
            if (!isRecordStart(h)) {
                return end(m_pos + 8, 8);
            }
            settleOpenRecord();
            return telemetryRecord(ahead);
        }
        if (h[0] == 0 && isVideoStart(h)) {
            settleOpenRecord();
            return videoFrame(h);
        }
        return end(m_pos + 8, 8);
    }

    // A sample starts at m_pos: a record without a marker before it ended here, where its
    // window did. Until then its offset is the last one and has no size; a record whose end
    // is never found keeps it so, as the last offset, and is left out of the track.
    void settleOpenRecord() {
        if (m_openRecord) {
            m_walk.tables.telemetrySizes.push_back(
                static_cast<std::uint32_t>(m_pos - *m_openRecord));
            reference(m_pos);
            m_openRecord.reset();
        }
    }

    bool videoFrame(const std::uint8_t* h) {
        const std::uint64_t size = readBe24(h + 1) + 4ull;
        // The slice header bytes that made this a frame start must lie inside the frame.
        const std::uint64_t header =
            4 + (isKeyFrame(h) ? mp4::kKeyFrameStart.size() : mp4::kPFrameStart.size());
        if (size < header) {
            return end(m_pos + 8, 8);
        }
        if (m_pos + size > m_source.size()) {
            return end(m_pos + 8, 8);  // cut off by the end of the file
        }
        auto& t = m_walk.tables;
        t.videoSizes.push_back(static_cast<std::uint32_t>(size));
        if (isKeyFrame(h)) {
            t.keyFrames.push_back(static_cast<std::uint32_t>(t.videoSizes.size()));
        }
        if (m_run == 0) {
            t.videoChunkOffsets.push_back(static_cast<std::uint32_t>(m_pos));
        }
        ++m_run;
        reference(m_pos + size);
        m_pos += size;
        return true;
    }

    // `ahead` holds the frame's header and up to 512 bytes after it.
    bool audioFrame(std::span<const std::uint8_t> ahead) {
        auto& t = m_walk.tables;
        const std::uint64_t start = m_pos;
        t.audioOffsets.push_back(static_cast<std::uint32_t>(start));
        reference(start + 8);
        closeRun();
        if (ahead.size() < 8 + kAudioWindow) {
            return end(start + ahead.size(), kAudioWindow);
        }
        const auto w = ahead.subspan(8, kAudioWindow);
        for (std::size_t x = 0; x <= kAudioSearchEnd; ++x) {
            if (isVideoStart(w.data() + x)) {
                t.audioSizes.push_back(static_cast<std::uint32_t>(x + 8));
                reference(start + 8 + x);
                m_pos = start + 8 + x;
                // The frame's header is already in the window: take the frame from there.
                return x + 8 <= w.size() ? videoFrame(w.data() + x) : true;
            }
            if (isRecordStart(w.data() + x)) {
                t.audioSizes.push_back(static_cast<std::uint32_t>(x + 8));
                return recordInWindow(start + 8, w, x);
            }
        }
        return end(start + 8 + kAudioWindow, kAudioWindow);
    }

    // A telemetry record found at x of the window that follows a sound frame.
    bool recordInWindow(std::uint64_t windowStart, std::span<const std::uint8_t> w, std::size_t x) {
        auto& t = m_walk.tables;
        t.telemetryOffsets.push_back(static_cast<std::uint32_t>(windowStart + x));
        // A record starting in the window's last bytes may have less than its 8-byte header
        // before the end of the file.
        reference(std::min(windowStart + x + 8, m_source.size()));
        // Searching from the record's own start keeps a stray marker inside the sound frame
        // from giving the record a negative size.
        if (const auto y = findMarker(w, x, kAudioSearchEnd)) {
            const std::uint64_t recordEnd = windowStart + *y + mp4::kSensorBlockSize;
            if (recordEnd > m_source.size()) {
                return end(m_source.size(), kAudioWindow);  // the block is cut off
            }
            t.telemetrySizes.push_back(static_cast<std::uint32_t>(*y - x + mp4::kSensorBlockSize));
            m_pos = recordEnd;
            reference(m_pos);
        } else {
            m_openRecord = windowStart + x;
            m_pos = windowStart + w.size();
        }
        return true;
    }

    // `ahead` starts with the record.
    bool telemetryRecord(std::span<const std::uint8_t> ahead) {
        auto& t = m_walk.tables;
        const std::uint64_t start = m_pos;
        t.telemetryOffsets.push_back(static_cast<std::uint32_t>(start));
        reference(start + 8);
        closeRun();
        if (ahead.size() < kRecordWindow) {
            return end(start + ahead.size(), kRecordWindow);
        }
        const auto w = ahead.first(kRecordWindow);
        if (const auto y = findMarker(w, 0, kRecordSearchEnd)) {
            const std::uint64_t recordEnd = start + *y + mp4::kSensorBlockSize;
            if (recordEnd > m_source.size()) {
                return end(m_source.size(), kRecordWindow);  // the block is cut off
            }
            t.telemetrySizes.push_back(static_cast<std::uint32_t>(*y + mp4::kSensorBlockSize));
            m_pos = recordEnd;
            reference(m_pos);
        } else {
            m_openRecord = start;
            m_pos = start + kRecordWindow;
        }
        return true;
    }

    void closeRun() {
        m_walk.tables.closeVideoRun(m_run);
        m_run = 0;
    }

    void reference(std::uint64_t end) {
        m_walk.referencedEnd = std::max(m_walk.referencedEnd, end);
    }

    bool readFailed(std::uint64_t position) {
        m_walk.readError =
            "cannot read at offset " + std::to_string(position) + ": " + shortReadReason(m_source);
        return end(position, 8);
    }

    bool end(std::uint64_t position, std::uint32_t window) {
        m_walk.endPosition = position;
        m_walk.window = window;
        return false;
    }

    ByteSource& m_source;
    std::array<std::uint8_t, 8 + kAudioWindow> m_ahead{};
    SampleWalk m_walk;
    std::uint64_t m_pos = 0;
    std::uint32_t m_run = 0;
    std::optional<std::uint64_t> m_openRecord;  // a record without a marker, its end not known
};

}  // namespace

SampleWalk walkSamples(ByteSource& source) {
    return Walker(source).run();
}

std::optional<std::uint64_t> movieBoxPlacement(const SampleWalk& walk) {
    const std::uint64_t e = walk.endPosition;
    const std::uint64_t w = walk.window;
    if (e < w + 41) {
        return std::nullopt;
    }
    const std::uint64_t recorder = (e % 4 == 0) ? e - w : (e & ~std::uint64_t{3}) - (w - 4);
    const std::uint64_t afterSamples = (walk.referencedEnd + 3) & ~std::uint64_t{3};
    return std::max(recorder, afterSamples);
}

}  // namespace qelv::core
