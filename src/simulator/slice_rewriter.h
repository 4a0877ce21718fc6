// Turns an encoder's H.264 slices into the recorder's: the slice header is written again for
// the recorder's fixed parameter sets (16-bit frame_num and picture order count, I slices as
// type 2 and P slices as type 0), the CABAC slice data behind it is copied unchanged, so every
// frame starts with the recorder's bytes (65 B8 00 for a key frame, 41 E0 for the others).
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>

#include "simulator/h264_bits.h"
#include "simulator/h264_parameter_sets.h"

namespace qelv::sim {

class SliceRewriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SliceRewriter {
public:
    // `recorderAvcC` is the recorder's avcC payload for the target resolution.
    explicit SliceRewriter(std::span<const std::uint8_t> recorderAvcC);

    // Takes the encoder's parameter sets; throws when its slices cannot be carried over.
    void setEncoderParameters(std::span<const std::uint8_t> spsNal,
                              std::span<const std::uint8_t> ppsNal);

    // Rewrites one slice NAL (IDR or non-IDR, one slice per picture). Returns the new NAL.
    // Throws on anything the recorder's streams cannot hold (B slices, several slices,
    // reference list or marking commands).
    Bytes rewrite(std::span<const std::uint8_t> sliceNal);

    bool ready() const { return m_haveEncoderParameters; }

private:
    SequenceParameters m_recorderSps;
    PictureParameters m_recorderPps;
    SequenceParameters m_encoderSps;
    PictureParameters m_encoderPps;
    bool m_haveEncoderParameters = false;
    std::uint32_t m_frameNum = 0;  // frames since the last key frame
};

}  // namespace qelv::sim
