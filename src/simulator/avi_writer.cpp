#include "simulator/avi_writer.h"

#include <stdexcept>
#include <string_view>

namespace qelv::sim {

namespace {

constexpr std::uint32_t kKeyFrameFlag = 0x10;  // AVIIF_KEYFRAME
constexpr std::uint32_t kHasIndex = 0x10;
constexpr std::uint32_t kInterleaved = 0x100;

class RiffWriter {
public:
    void u16(std::uint16_t v) {
        m_bytes.push_back(static_cast<std::uint8_t>(v));
        m_bytes.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    void u32(std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    }
    void fourcc(std::string_view code) { m_bytes.insert(m_bytes.end(), code.begin(), code.end()); }
    void bytes(const std::vector<std::uint8_t>& data) {
        m_bytes.insert(m_bytes.end(), data.begin(), data.end());
    }
    // "LIST"/"RIFF" or a chunk; ended by end(), which pads to an even size.
    void beginList(std::string_view kind, std::string_view type) {
        fourcc(kind);
        m_open.push_back(m_bytes.size());
        u32(0);
        fourcc(type);
    }
    void beginChunk(std::string_view id) {
        fourcc(id);
        m_open.push_back(m_bytes.size());
        u32(0);
    }
    void end() {
        const std::size_t at = m_open.back();
        m_open.pop_back();
        const auto size = static_cast<std::uint32_t>(m_bytes.size() - at - 4);
        for (int i = 0; i < 4; ++i) {
            m_bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
        }
        if (m_bytes.size() % 2 != 0) {
            m_bytes.push_back(0);
        }
    }
    std::size_t size() const { return m_bytes.size(); }
    std::vector<std::uint8_t> take() { return std::move(m_bytes); }

private:
    std::vector<std::uint8_t> m_bytes;
    std::vector<std::size_t> m_open;
};

struct Chunk {
    std::string id;
    std::vector<std::uint8_t> data;
    bool key;
};

std::string chunkId(std::size_t stream, std::string_view kind) {
    return std::string{static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10)} +
           std::string(kind);
}

void streamHeader(RiffWriter& w, std::string_view type, std::string_view handler,
                  std::uint32_t scale, std::uint32_t rate, std::uint32_t length,
                  std::uint32_t sampleSize, std::uint16_t width, std::uint16_t height) {
    w.beginChunk("strh");
    w.fourcc(type);
    if (handler.empty()) {
        w.u32(0);
    } else {
        w.fourcc(handler);
    }
    w.u32(0);  // flags
    w.u16(0);  // priority
    w.u16(0);  // language
    w.u32(0);  // initial frames
    w.u32(scale);
    w.u32(rate);
    w.u32(0);  // start
    w.u32(length);
    w.u32(1 << 20);      // suggested buffer size
    w.u32(0xFFFFFFFFu);  // quality
    w.u32(sampleSize);
    w.u16(0);
    w.u16(0);
    w.u16(width);
    w.u16(height);
    w.end();
}

}  // namespace

std::vector<std::uint8_t> annexBFrame(const Sample& frame, const core::mp4::VideoFormat& format) {
    std::vector<std::uint8_t> out;
    if (frame.key) {
        // avcC: 5 bytes, count, SPS length and SPS, count, PPS length and PPS.
        const auto& c = format.avcC;
        const std::size_t spsLength = (std::size_t{c[6]} << 8) | c[7];
        const std::size_t ppsAt = 8 + spsLength + 1;
        const std::size_t ppsLength = (std::size_t{c[ppsAt]} << 8) | c[ppsAt + 1];
        for (auto [from, length] :
             {std::pair{std::size_t{8}, spsLength}, std::pair{ppsAt + 2, ppsLength}}) {
            out.insert(out.end(), {0, 0, 0, 1});
            out.insert(out.end(), c.begin() + static_cast<std::ptrdiff_t>(from),
                       c.begin() + static_cast<std::ptrdiff_t>(from + length));
        }
    }
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), frame.bytes.begin() + 4, frame.bytes.end());
    return out;
}

std::vector<std::uint8_t> writeAvi(const AviContent& content) {
    if (content.video.empty() || content.video.size() > 3) {
        throw std::invalid_argument("an AVI recording holds one to three video streams");
    }
    const std::size_t frames = content.video[0].frames.size();
    const std::size_t soundStream = content.video.size();
    const std::size_t textStream = soundStream + 1;

    // Chunks in time order (units of 1/48000 s): at one instant sound, record, then video.
    std::vector<Chunk> chunks;
    std::size_t a = 0, r = 0;
    for (std::size_t v = 0; v < frames; ++v) {
        const std::uint64_t now = v * 1600;
        while (a < content.sound.size() && a * 3072 <= now) {
            chunks.push_back({chunkId(soundStream, "wb"), content.sound[a++], true});
        }
        while (r < content.records.size() && r * 48000 <= now) {
            chunks.push_back({chunkId(textStream, "tx"), content.records[r++], true});
        }
        for (std::size_t s = 0; s < content.video.size(); ++s) {
            const auto& stream = content.video[s];
            if (v < stream.frames.size()) {
                chunks.push_back({chunkId(s, "dc"), annexBFrame(stream.frames[v], *stream.format),
                                  stream.frames[v].key});
            }
        }
    }

    RiffWriter w;
    w.beginList("RIFF", "AVI ");
    w.beginList("LIST", "hdrl");
    const auto& front = *content.video[0].format;
    w.beginChunk("avih");
    w.u32(33333);
    w.u32(0);
    w.u32(0);
    w.u32(kHasIndex | kInterleaved);
    w.u32(static_cast<std::uint32_t>(frames));
    w.u32(0);
    w.u32(static_cast<std::uint32_t>(textStream + 1));
    w.u32(1 << 20);
    w.u32(front.width);
    w.u32(front.height);
    for (int i = 0; i < 4; ++i) {
        w.u32(0);
    }
    w.end();
    for (const auto& stream : content.video) {
        w.beginList("LIST", "strl");
        streamHeader(w, "vids", "H264", 1, 30, static_cast<std::uint32_t>(stream.frames.size()), 0,
                     stream.format->width, stream.format->height);
        w.beginChunk("strf");  // BITMAPINFOHEADER
        w.u32(40);
        w.u32(stream.format->width);
        w.u32(stream.format->height);
        w.u16(1);
        w.u16(24);
        w.fourcc("H264");
        w.u32(static_cast<std::uint32_t>(stream.format->width) * stream.format->height * 3);
        for (int i = 0; i < 4; ++i) {
            w.u32(0);
        }
        w.end();
        w.end();
    }
    w.beginList("LIST", "strl");
    streamHeader(w, "auds", "", 1024, 16000, static_cast<std::uint32_t>(content.sound.size()), 0, 0,
                 0);
    w.beginChunk("strf");  // WAVEFORMATEX for AAC with its AudioSpecificConfig
    w.u16(0x00FF);
    w.u16(2);
    w.u32(16000);
    w.u32(3000);
    w.u16(1);
    w.u16(16);
    w.u16(2);
    w.bytes({core::mp4::kAudioSpecificConfig.begin(), core::mp4::kAudioSpecificConfig.end()});
    w.end();
    w.end();
    w.beginList("LIST", "strl");
    streamHeader(w, "txts", "", 1, 1, static_cast<std::uint32_t>(content.records.size()), 0, 0, 0);
    w.beginChunk("strf");  // text streams carry no format; players expect the chunk all the same
    w.u32(0);
    w.end();
    w.end();
    w.end();  // hdrl

    w.beginList("LIST", "movi");
    const std::size_t moviType = w.size() - 4;  // index offsets count from the "movi" type
    struct IndexEntry {
        std::string id;
        std::uint32_t flags, offset, size;
    };
    std::vector<IndexEntry> index;
    for (const Chunk& chunk : chunks) {
        index.push_back({chunk.id, chunk.key ? kKeyFrameFlag : 0u,
                         static_cast<std::uint32_t>(w.size() - moviType),
                         static_cast<std::uint32_t>(chunk.data.size())});
        w.beginChunk(chunk.id);
        w.bytes(chunk.data);
        w.end();
    }
    w.end();  // movi
    w.beginChunk("idx1");
    for (const IndexEntry& e : index) {
        w.fourcc(e.id);
        w.u32(e.flags);
        w.u32(e.offset);
        w.u32(e.size);
    }
    w.end();
    w.end();  // RIFF
    std::vector<std::uint8_t> file = w.take();
    if (file.size() > 0xFFFFFFFFull) {
        throw std::runtime_error("recording too large for one RIFF file");
    }
    return file;
}

}  // namespace qelv::sim
