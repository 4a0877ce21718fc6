// What the recorder's text track says: GPS fixes and G-sensor samples, one record a second.
#pragma once

#include <cstdint>
#include <list>
#include <optional>
#include <span>

namespace qelv::core {

// How a G-sensor sample was coded: three bytes after the "QELVM" marker, or a packed "S"
// record of 8 or 10 bits an axis.
enum class SampleFormat : std::int32_t { Marker = 0, Packed8 = 1, Packed10 = 2 };

// One GPS fix, with the fields as the sentence wrote them.
class CVOKAGPSData {
public:
    virtual ~CVOKAGPSData() = default;

    std::int32_t year = 0;  // two digits, from the date field
    std::int32_t month = 0;
    std::int32_t day = 0;
    std::int32_t hour = 0;  // the sentence's UTC hour plus 9, not reduced (20 gives 29)
    std::int32_t minute = 0;
    std::int32_t second = 0;   // whole seconds
    std::int32_t valid = 0;    // 1 when the status begins with "A"
    double latitude = 0;       // ddmm.mmmm as written, negative unless "N"
    double longitude = 0;      // dddmm.mmmm as written, negative unless "E"
    double speed = 0;          // km/h (knots x 1.852), rounded to single precision
    double course = 0;         // degrees, rounded to single precision
    std::uint32_t timeMs = 0;  // offset of the record in the recording
};

// One G-sensor triple in raw units: 0 to 128 for the 8-bit formats, -511 to 512 for 10 bits.
struct GSensorSample {
    std::int32_t x = 0;
    std::int32_t y = 0;
    std::int32_t z = 0;
    std::int32_t format = 0;  // SampleFormat
    std::int32_t timeMs = 0;
};

// The store of the recording being played. Only TelemetryState touches it, under its lock.
class CVOKATextData {
public:
    virtual ~CVOKATextData() = default;

    std::list<GSensorSample> samples;
    std::list<CVOKAGPSData> fixes;
};

// A text-track record is at most 1023 bytes in a zero-filled buffer of 1024.
inline constexpr std::size_t kRecordBufferSize = 1024;
using RecordBuffer = std::span<const std::uint8_t, kRecordBufferSize>;

// Fills `fix` from a sentence (fields: tag, hhmmss, status, lat, N/S, lon, E/W, knots,
// course, ddmmyy) up to its terminating zero. True when all ten fields were there; the
// fields read before the text ended are kept either way. A fix is valid only with a position:
// both coordinates present, in decimal text, and on the globe.
bool ParseGpsSentence(CVOKAGPSData& fix, std::uint32_t timeMs, const char* text);

// Decodes three raw axis values into `sample`.
void DecodeGSensorAxes(GSensorSample& sample, std::int32_t a, std::int32_t b, std::int32_t c,
                       SampleFormat format, std::uint32_t timeMs);

// What one record holds, before the store's one-minute rule.
struct ParsedRecord {
    bool accepted = false;
    bool gps = false;  // a GPS record: its fix and its marker sample count only in the first minute
    std::optional<CVOKAGPSData> fix;
    std::optional<GSensorSample> sample;
};

ParsedRecord parseRecord(RecordBuffer record, std::uint32_t timeMs);

// g on the panel's scale: raw x s / 7 x 0.5, in single precision, where s is 0.1103515625
// when the list's first sample is 10-bit and 0.44140625 otherwise.
float gravityOf(std::int32_t raw, bool tenBit);

// Decimal degrees of a ddmm.mmmm value.
double decimalDegrees(double value);

}  // namespace qelv::core
