#include "simulator/slice_rewriter.h"

namespace qelv::sim {

namespace {

constexpr std::uint8_t kIdrType = 5;
constexpr std::uint8_t kSliceType = 1;
constexpr std::uint8_t kRecorderKeyNal = 0x65;
constexpr std::uint8_t kRecorderFrameNal = 0x41;
constexpr std::uint32_t kRecorderISlice = 2;
constexpr std::uint32_t kRecorderPSlice = 0;

struct SliceHeader {
    bool intra = false;
    std::uint32_t idrPicId = 0;
    bool noOutputOfPriorPics = false;
    bool longTermReference = false;
    std::uint32_t activeRefs = 1;
    std::uint32_t cabacInitIdc = 0;
    std::int32_t sliceQp = 26;
    std::uint32_t deblockingIdc = 0;
    std::int32_t alphaOffset = 0;
    std::int32_t betaOffset = 0;
    std::size_t dataByte = 0;  // first byte of the CABAC data in the RBSP
};

void require(bool condition, const char* what) {
    if (!condition) {
        throw SliceRewriteError(std::string("cannot carry the encoder's slice over: ") + what);
    }
}

SliceHeader parseHeader(std::span<const std::uint8_t> rbsp, bool idr, std::uint8_t nalRefIdc,
                        const SequenceParameters& sps, const PictureParameters& pps) {
    BitReader r(rbsp);
    SliceHeader h;
    require(r.ue() == 0, "more than one slice per picture");
    const std::uint32_t type = r.ue() % 5;
    require(type == 0 || type == 2, "a slice that is neither I nor P");
    h.intra = type == 2;
    r.ue();  // pps id
    r.bits(static_cast<int>(sps.log2MaxFrameNum));
    if (idr) {
        h.idrPicId = r.ue();
    }
    if (sps.pocType == 0) {
        r.bits(static_cast<int>(sps.log2MaxPocLsb));
    }
    if (!h.intra) {
        h.activeRefs = pps.refIdxL0Default;
        if (r.flag()) {
            h.activeRefs = r.ue() + 1;
        }
        require(!r.flag(), "reference list modification");
    }
    require(nalRefIdc != 0, "a non-reference picture");
    if (idr) {
        h.noOutputOfPriorPics = r.flag();
        h.longTermReference = r.flag();
    } else {
        require(!r.flag(), "memory management commands");
    }
    if (!h.intra) {
        h.cabacInitIdc = r.ue();
    }
    h.sliceQp = pps.picInitQp + r.se();
    if (pps.deblockingControl) {
        h.deblockingIdc = r.ue();
        if (h.deblockingIdc != 1) {
            h.alphaOffset = r.se();
            h.betaOffset = r.se();
        }
    }
    while (!r.byteAligned()) {
        require(r.flag(), "CABAC alignment bits");
    }
    require(!r.failed(), "the slice header ends early");
    h.dataByte = r.position() / 8;
    return h;
}

}  // namespace

SliceRewriter::SliceRewriter(std::span<const std::uint8_t> avcC) {
    // avcC: 5 bytes, SPS count, SPS length (2), SPS, PPS count, PPS length (2), PPS.
    require(avcC.size() > 8, "avcC too short");
    const std::size_t spsLength = (std::size_t{avcC[6]} << 8) | avcC[7];
    require(avcC.size() >= 8 + spsLength + 3, "avcC too short");
    const auto sps = avcC.subspan(8, spsLength);
    const std::size_t ppsAt = 8 + spsLength + 1;
    const std::size_t ppsLength = (std::size_t{avcC[ppsAt]} << 8) | avcC[ppsAt + 1];
    require(avcC.size() >= ppsAt + 2 + ppsLength, "avcC too short");
    const auto parsedSps = parseSequenceParameters(sps);
    const auto parsedPps = parsePictureParameters(avcC.subspan(ppsAt + 2, ppsLength));
    require(parsedSps && parsedPps, "unreadable recorder parameter sets");
    m_recorderSps = *parsedSps;
    m_recorderPps = *parsedPps;
}

void SliceRewriter::setEncoderParameters(std::span<const std::uint8_t> spsNal,
                                         std::span<const std::uint8_t> ppsNal) {
    const auto sps = parseSequenceParameters(spsNal);
    const auto pps = parsePictureParameters(ppsNal);
    require(sps && pps, "unreadable encoder parameter sets");
    const std::string why = incompatibility(*sps, *pps, m_recorderSps, m_recorderPps);
    if (!why.empty()) {
        throw SliceRewriteError("the encoder's stream does not fit the recorder's: " + why);
    }
    m_encoderSps = *sps;
    m_encoderPps = *pps;
    m_haveEncoderParameters = true;
}

Bytes SliceRewriter::rewrite(std::span<const std::uint8_t> nal) {
    require(m_haveEncoderParameters, "no parameter sets before the first slice");
    require(!nal.empty(), "empty NAL unit");
    const std::uint8_t type = nal[0] & 0x1F;
    require(type == kIdrType || type == kSliceType, "not a slice");
    const bool idr = type == kIdrType;
    const Bytes rbsp = rbspFromNal(nal.subspan(1));
    const SliceHeader h = parseHeader(rbsp, idr, (nal[0] >> 5) & 3, m_encoderSps, m_encoderPps);
    require(idr == h.intra, "an I slice that is not a key frame");
    if (idr) {
        m_frameNum = 0;
    }

    BitWriter w;
    w.bits(idr ? kRecorderKeyNal : kRecorderFrameNal, 8);
    w.ue(0);  // first macroblock
    w.ue(idr ? kRecorderISlice : kRecorderPSlice);
    w.ue(0);  // pps id
    w.bits(m_frameNum, static_cast<int>(m_recorderSps.log2MaxFrameNum));
    if (idr) {
        w.ue(h.idrPicId);
    }
    // Frames are shown in decoding order, two picture-order units apart.
    w.bits((2 * m_frameNum) & ((1u << m_recorderSps.log2MaxPocLsb) - 1),
           static_cast<int>(m_recorderSps.log2MaxPocLsb));
    if (!idr) {
        const bool override = h.activeRefs != m_recorderPps.refIdxL0Default;
        w.flag(override);
        if (override) {
            w.ue(h.activeRefs - 1);
        }
        w.flag(false);  // no reference list modification
    }
    if (idr) {
        w.flag(h.noOutputOfPriorPics);
        w.flag(h.longTermReference);
    } else {
        w.flag(false);  // sliding-window marking
        w.ue(h.cabacInitIdc);
    }
    w.se(h.sliceQp - m_recorderPps.picInitQp);
    w.ue(h.deblockingIdc);
    if (h.deblockingIdc != 1) {
        w.se(h.alphaOffset);
        w.se(h.betaOffset);
    }
    w.alignWithOnes();

    Bytes out = w.bytes();
    out.insert(out.end(), rbsp.begin() + static_cast<std::ptrdiff_t>(h.dataByte), rbsp.end());
    ++m_frameNum;
    // The header byte is never part of an emulation pattern, so escaping all of it is safe.
    return nalFromRbsp(out);
}

}  // namespace qelv::sim
