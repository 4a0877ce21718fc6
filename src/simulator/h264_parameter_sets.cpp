#include "simulator/h264_parameter_sets.h"

#include "simulator/h264_bits.h"

namespace qelv::sim {

namespace {

constexpr std::uint8_t kSpsType = 7;
constexpr std::uint8_t kPpsType = 8;

bool highProfile(std::uint32_t profile) {
    switch (profile) {
        case 100:
        case 110:
        case 122:
        case 244:
        case 44:
        case 83:
        case 86:
        case 118:
        case 128:
            return true;
        default:
            return false;
    }
}

}  // namespace

std::optional<SequenceParameters> parseSequenceParameters(std::span<const std::uint8_t> nal) {
    if (nal.empty() || (nal[0] & 0x1F) != kSpsType) {
        return std::nullopt;
    }
    const Bytes rbsp = rbspFromNal(nal.subspan(1));
    BitReader r(rbsp);
    SequenceParameters s;
    s.profile = r.bits(8);
    r.bits(16);  // constraint flags, level
    r.ue();      // id
    if (highProfile(s.profile)) {
        s.chromaFormat = r.ue();
        if (s.chromaFormat == 3) {
            r.flag();
        }
        s.bitDepthLumaMinus8 = r.ue();
        s.bitDepthChromaMinus8 = r.ue();
        s.transformBypass = r.flag();
        s.scalingMatrix = r.flag();
        if (s.scalingMatrix) {
            return s;  // lists not read: such a stream is refused as incompatible anyway
        }
    }
    s.log2MaxFrameNum = r.ue() + 4;
    s.pocType = r.ue();
    if (s.pocType == 0) {
        s.log2MaxPocLsb = r.ue() + 4;
    } else if (s.pocType == 1) {
        return std::nullopt;
    }
    s.maxRefFrames = r.ue();
    r.flag();  // gaps in frame_num allowed
    s.widthMbs = r.ue() + 1;
    s.heightMbs = r.ue() + 1;
    s.frameMbsOnly = r.flag();
    if (r.failed()) {
        return std::nullopt;
    }
    return s;
}

std::optional<PictureParameters> parsePictureParameters(std::span<const std::uint8_t> nal) {
    if (nal.empty() || (nal[0] & 0x1F) != kPpsType) {
        return std::nullopt;
    }
    const Bytes rbsp = rbspFromNal(nal.subspan(1));
    BitReader r(rbsp);
    PictureParameters p;
    r.ue();  // pps id
    r.ue();  // sps id
    p.cabac = r.flag();
    p.bottomFieldPicOrder = r.flag();
    p.sliceGroups = r.ue() + 1;
    if (p.sliceGroups != 1) {
        return p;  // slice group maps not read: refused as incompatible
    }
    p.refIdxL0Default = r.ue() + 1;
    r.ue();  // list 1 default
    p.weightedPred = r.flag();
    p.weightedBipred = r.bits(2);
    p.picInitQp = 26 + r.se();
    r.se();  // pic_init_qs
    p.chromaQpOffset = r.se();
    p.deblockingControl = r.flag();
    p.constrainedIntra = r.flag();
    p.redundantPicCount = r.flag();
    p.secondChromaQpOffset = p.chromaQpOffset;
    if (r.moreRbspData()) {
        p.transform8x8 = r.flag();
        p.scalingMatrix = r.flag();
        if (!p.scalingMatrix) {
            p.secondChromaQpOffset = r.se();
        }
    }
    if (r.failed()) {
        return std::nullopt;
    }
    return p;
}

std::string incompatibility(const SequenceParameters& e, const PictureParameters& ep,
                            const SequenceParameters& r, const PictureParameters& rp) {
    if (e.chromaFormat != r.chromaFormat || e.bitDepthLumaMinus8 != r.bitDepthLumaMinus8 ||
        e.bitDepthChromaMinus8 != r.bitDepthChromaMinus8) {
        return "sample format differs";
    }
    if (e.transformBypass || e.scalingMatrix || ep.scalingMatrix) {
        return "lossless coding or scaling matrices";
    }
    if (e.widthMbs != r.widthMbs || e.heightMbs != r.heightMbs) {
        return "picture size differs";
    }
    if (!e.frameMbsOnly || e.maxRefFrames > r.maxRefFrames) {
        return "interlacing or more reference frames";
    }
    if (ep.cabac != rp.cabac || ep.transform8x8 != rp.transform8x8) {
        return "entropy coding or transform size differs";
    }
    if (ep.sliceGroups != 1 || ep.weightedPred || ep.weightedBipred != 0 ||
        ep.constrainedIntra != rp.constrainedIntra || ep.redundantPicCount ||
        ep.bottomFieldPicOrder) {
        return "slice groups, weighted prediction or redundant pictures";
    }
    if (ep.chromaQpOffset != rp.chromaQpOffset ||
        ep.secondChromaQpOffset != rp.secondChromaQpOffset) {
        return "chroma quantiser offsets differ";
    }
    if (ep.deblockingControl != rp.deblockingControl) {
        return "deblocking control differs";
    }
    return {};
}

}  // namespace qelv::sim
