// The fields of H.264 sequence and picture parameter sets that decide how a slice is read.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace qelv::sim {

struct SequenceParameters {
    std::uint32_t profile = 0;
    std::uint32_t chromaFormat = 1;
    std::uint32_t bitDepthLumaMinus8 = 0;
    std::uint32_t bitDepthChromaMinus8 = 0;
    bool transformBypass = false;
    bool scalingMatrix = false;
    std::uint32_t log2MaxFrameNum = 4;
    std::uint32_t pocType = 0;
    std::uint32_t log2MaxPocLsb = 4;
    std::uint32_t maxRefFrames = 0;
    std::uint32_t widthMbs = 0;
    std::uint32_t heightMbs = 0;
    bool frameMbsOnly = true;
};

struct PictureParameters {
    bool cabac = false;
    bool bottomFieldPicOrder = false;
    std::uint32_t sliceGroups = 1;
    std::uint32_t refIdxL0Default = 1;  // active references, not minus 1
    bool weightedPred = false;
    std::uint32_t weightedBipred = 0;
    std::int32_t picInitQp = 26;
    std::int32_t chromaQpOffset = 0;
    bool deblockingControl = false;
    bool constrainedIntra = false;
    bool redundantPicCount = false;
    bool transform8x8 = false;
    bool scalingMatrix = false;
    std::int32_t secondChromaQpOffset = 0;
};

// Parse a whole NAL unit (header byte included). Nothing for a unit that is not an SPS/PPS
// or that ends early.
std::optional<SequenceParameters> parseSequenceParameters(std::span<const std::uint8_t> nal);
std::optional<PictureParameters> parsePictureParameters(std::span<const std::uint8_t> nal);

// Why slices coded against `encoder` would decode differently under `recorder`, or empty
// when a slice can move from one to the other by rewriting its header alone.
std::string incompatibility(const SequenceParameters& encoder, const PictureParameters& encoderPps,
                            const SequenceParameters& recorder,
                            const PictureParameters& recorderPps);

}  // namespace qelv::sim
