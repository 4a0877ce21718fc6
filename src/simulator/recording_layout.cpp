#include "simulator/recording_layout.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include "storage/box_writer.h"
#include "storage/index_rebuild.h"
#include "storage/movie_box.h"

namespace qelv::sim {

RecordingLayout::RecordingLayout(std::vector<Sample> samples) : m_samples(std::move(samples)) {
    layOut();
}

void RecordingLayout::replace(std::size_t index, std::vector<std::uint8_t> bytes) {
    m_samples.at(index).bytes = std::move(bytes);
    layOut();
}

void RecordingLayout::layOut() {
    m_offsets.clear();
    m_tables = {};
    std::uint64_t offset = core::mp4::kFirstSampleOffset;
    std::uint32_t run = 0;
    auto& t = m_tables;
    for (const Sample& sample : m_samples) {
        m_offsets.push_back(offset);
        const auto at = static_cast<std::uint32_t>(offset);
        const auto size = static_cast<std::uint32_t>(sample.bytes.size());
        if (sample.kind == SampleKind::Video) {
            if (run == 0) {
                t.videoChunkOffsets.push_back(at);
            }
            ++run;
            t.videoSizes.push_back(size);
            if (sample.key) {
                t.keyFrames.push_back(static_cast<std::uint32_t>(t.videoSizes.size()));
            }
        } else {
            t.closeVideoRun(run);
            run = 0;
            auto& offsets = sample.kind == SampleKind::Audio ? t.audioOffsets : t.telemetryOffsets;
            auto& sizes = sample.kind == SampleKind::Audio ? t.audioSizes : t.telemetrySizes;
            offsets.push_back(at);
            sizes.push_back(size);
        }
        offset += size;
    }
    t.closeVideoRun(run);
    m_offsets.push_back(offset);
}

std::vector<PlacedSample> RecordingLayout::placement() const {
    std::vector<PlacedSample> placed;
    placed.reserve(m_samples.size());
    for (std::size_t i = 0; i < m_samples.size(); ++i) {
        const Sample& sample = m_samples[i];
        placed.push_back({sample.kind, m_offsets[i],
                          static_cast<std::uint32_t>(sample.bytes.size()), sample.key});
    }
    return placed;
}

std::vector<std::uint8_t> RecordingLayout::leadingBytes(std::uint32_t dataSize) {
    core::BoxWriter w;
    w.begin("ftyp");
    w.text("isom");
    w.u32(0x200);
    w.text("isomiso2avc1mp41");
    w.end();
    w.begin("free");
    w.end();
    std::vector<std::uint8_t> head = w.take();
    head.resize(core::mp4::kMediaDataOffset, 0);
    core::BoxWriter mdat;
    mdat.u32(dataSize);
    mdat.text("mdat");
    head.insert(head.end(), mdat.data().begin(), mdat.data().end());
    return head;
}

LayoutSource::LayoutSource(const RecordingLayout& layout, std::uint64_t size)
    : m_layout(layout), m_head(RecordingLayout::leadingBytes(0)), m_size(size) {}

std::size_t LayoutSource::read(std::uint64_t offset, std::span<std::uint8_t> dst) {
    std::size_t done = 0;
    const auto& samples = m_layout.samples();
    while (done < dst.size() && offset + done < m_size) {
        const std::uint64_t at = offset + done;
        std::size_t n = 0;
        if (at < m_head.size()) {
            n = std::min<std::uint64_t>(dst.size() - done, m_head.size() - at);
            std::memcpy(dst.data() + done, m_head.data() + at, n);
        } else if (at < m_layout.dataEnd()) {
            // The sample holding `at`: the last one whose offset is not after it.
            std::size_t lo = 0, hi = samples.size();
            while (hi - lo > 1) {
                const std::size_t mid = (lo + hi) / 2;
                (m_layout.offsetOf(mid) <= at ? lo : hi) = mid;
            }
            const auto& bytes = samples[lo].bytes;
            const std::uint64_t inside = at - m_layout.offsetOf(lo);
            n = std::min<std::uint64_t>(dst.size() - done, bytes.size() - inside);
            std::memcpy(dst.data() + done, bytes.data() + inside, n);
        } else {
            n = std::min<std::uint64_t>(dst.size() - done, m_size - at);
            std::memset(dst.data() + done, 0, n);
        }
        done += n;
    }
    return done;
}

namespace {

bool sameEntry(const std::vector<std::uint32_t>& found, const std::vector<std::uint32_t>& truth,
               std::size_t i) {
    return i < found.size() && found[i] == truth[i];
}

// The first sample, in file order, that the walk did not find as it was written.
std::optional<std::size_t> firstMisread(const RecordingLayout& layout,
                                        const core::SampleTables& found) {
    const core::SampleTables& truth = layout.tables();
    std::size_t audio = 0, record = 0, video = 0;
    for (std::size_t i = 0; i < layout.samples().size(); ++i) {
        bool ok = true;
        switch (layout.samples()[i].kind) {
            case SampleKind::Audio:
                ok = sameEntry(found.audioOffsets, truth.audioOffsets, audio) &&
                     sameEntry(found.audioSizes, truth.audioSizes, audio);
                ++audio;
                break;
            case SampleKind::Telemetry:
                ok = sameEntry(found.telemetryOffsets, truth.telemetryOffsets, record) &&
                     sameEntry(found.telemetrySizes, truth.telemetrySizes, record);
                ++record;
                break;
            case SampleKind::Video:
                ok = sameEntry(found.videoSizes, truth.videoSizes, video);
                ++video;
                break;
        }
        if (!ok) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

bool makeWalkable(
    RecordingLayout& layout,
    const std::function<std::optional<std::vector<std::uint8_t>>(std::size_t, int)>& alternative) {
    std::vector<int> attempts(layout.samples().size(), 0);
    for (;;) {
        // The walk of the unfinished file: samples followed by the recorder's zero tail.
        LayoutSource source(layout, layout.dataEnd() + 4096);
        const core::SampleWalk walk = core::walkSamples(source);
        if (walk.tables == layout.tables()) {
            return true;
        }
        const auto misread = firstMisread(layout, walk.tables);
        if (!misread) {
            throw std::logic_error("the walk's tables differ from every sample's own");
        }
        // Only a sound frame's length is found by searching; a record or frame misread after
        // one was misplaced by that search.
        std::size_t index = *misread;
        while (layout.samples()[index].kind != SampleKind::Audio) {
            if (index == 0) {
                throw std::logic_error("a sample misread with no sound frame before it");
            }
            --index;
        }
        auto bytes = alternative(index, attempts[index]++);
        if (!bytes) {
            return false;
        }
        layout.replace(index, std::move(*bytes));
    }
}

WrittenFile writeRecording(const RecordingLayout& layout, const std::filesystem::path& path,
                           bool complete, core::CameraChannel camera,
                           const core::mp4::VideoFormat& video, std::uint64_t tailBytes) {
    WrittenFile written;
    const std::uint64_t dataSize = layout.dataEnd() - core::mp4::kMediaDataOffset;
    if (dataSize > 0xFFFFFFFFull) {
        throw std::runtime_error("recording too large for a 32-bit data box");
    }
    const std::filesystem::path temp = path.string() + ".partial";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        auto put = [&out](const std::vector<std::uint8_t>& bytes) {
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
        };
        put(RecordingLayout::leadingBytes(complete ? static_cast<std::uint32_t>(dataSize) : 0));
        for (const Sample& sample : layout.samples()) {
            put(sample.bytes);
        }
        if (complete) {
            written.moov = core::buildMovieBox(layout.tables(), camera, video);
            written.moovOffset = layout.dataEnd();
            put(written.moov);
        } else {
            const std::vector<std::uint8_t> zeros(64 * 1024, 0);
            for (std::uint64_t left = tailBytes; left > 0;) {
                const auto n =
                    static_cast<std::streamsize>(std::min<std::uint64_t>(left, zeros.size()));
                out.write(reinterpret_cast<const char*>(zeros.data()), n);
                left -= static_cast<std::uint64_t>(n);
            }
        }
        written.size = static_cast<std::uint64_t>(out.tellp());
        out.flush();
        if (!out) {
            std::filesystem::remove(temp);
            throw std::runtime_error("cannot write " + temp.string());
        }
    }
    std::filesystem::rename(temp, path);
    return written;
}

}  // namespace qelv::sim
