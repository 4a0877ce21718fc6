// A GStreamer encoding pipeline driven from the calling thread: raw buffers go into an appsrc
// named "src", encoded buffers come out of an appsink named "sink".
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

typedef struct _GstElement GstElement;
typedef struct _GstBufferPool GstBufferPool;

namespace qelv::sim {

class GstEncoder {
public:
    using Output = std::function<void(std::span<const std::uint8_t>)>;

    // `description` is a gst-launch line; throws when it cannot be built or started.
    GstEncoder(const std::string& description, Output output);
    ~GstEncoder();
    GstEncoder(const GstEncoder&) = delete;
    GstEncoder& operator=(const GstEncoder&) = delete;

    // Pushes one buffer and hands every encoded buffer that is ready to the output.
    void push(std::span<const std::uint8_t> data, std::uint64_t ptsNs, std::uint64_t durationNs);
    // Ends the stream and hands over everything that is left.
    void finish();

private:
    void release();
    void drain(bool untilEos);
    void checkBus();

    GstElement* m_pipeline = nullptr;
    GstElement* m_src = nullptr;
    GstElement* m_sink = nullptr;
    // Buffers of the first size pushed, used again once the encoder lets them go: a picture
    // allocated afresh each time is mapped and faulted in page by page.
    GstBufferPool* m_pool = nullptr;
    std::size_t m_poolSize = 0;
    Output m_output;
};

}  // namespace qelv::sim
