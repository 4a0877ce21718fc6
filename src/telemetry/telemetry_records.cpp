#include "telemetry/telemetry_records.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "config/text_rules.h"

namespace qelv::core {

namespace {

constexpr std::string_view kMarker = "QELVM";

// Decimal floating-point text as C reads it (leading blanks, a sign), whatever the locale.
double number(std::string_view field) {
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) {
        field.remove_prefix(1);
    }
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    double value = 0;
    const auto result = std::from_chars(field.data(), field.data() + field.size(), value);
    return result.ec == std::errc() && std::isfinite(value) ? value : 0.0;
}

// Whether a latitude (`maxDegrees` 90) or longitude (180) field is a position: ddmm.mmmm in
// decimal text and nothing else (no "nan", "inf", hexadecimal or trailing garbage; blanks
// aside), with minutes below 60 and degrees within the limit. An empty field is none.
bool isPosition(std::string_view field, double maxDegrees) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!field.empty() && blank(field.front())) {
        field.remove_prefix(1);
    }
    while (!field.empty() && blank(field.back())) {
        field.remove_suffix(1);
    }
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (field.empty() || ec != std::errc() || end != field.data() + field.size() ||
        !std::isfinite(value)) {
        return false;
    }
    const double magnitude = std::abs(value);
    const double minutes = magnitude - std::trunc(magnitude / 100) * 100;
    return minutes < 60 && std::abs(decimalDegrees(magnitude)) <= maxDegrees;
}

// A two-character group of a time or date field, as a decimal integer on its own.
std::int32_t group(std::string_view field, std::size_t index) {
    if (index * 2 >= field.size()) {
        return 0;
    }
    return parseDecimal(field.substr(index * 2, 2)).value_or(0);
}

std::int32_t le16(const std::uint8_t* p) {
    return p[0] | (p[1] << 8);
}

std::int32_t axis(std::int32_t v, SampleFormat format) {
    if (format == SampleFormat::Packed10) {
        return static_cast<std::int32_t>(~static_cast<std::uint32_t>(v) & 0x3FFu) - 511;
    }
    const std::int32_t low = v & 0x7F;
    return (v & 0x80) ? 128 - low : low;
}

// A GPS record whose sentence starts at `start`; the marker's last three letters are looked
// for from `start` to 255.
ParsedRecord gpsRecord(RecordBuffer record, std::size_t start, std::uint32_t timeMs) {
    ParsedRecord parsed{true, true, CVOKAGPSData{}, std::nullopt};
    // The buffer is zero-filled past the record, and byte 1023 is always zero.
    std::array<char, kRecordBufferSize> text{};
    std::memcpy(text.data(), record.data() + start, kRecordBufferSize - 1 - start);
    ParseGpsSentence(*parsed.fix, timeMs, text.data());
    for (std::size_t i = start; i <= 255; ++i) {
        if (std::memcmp(record.data() + i, kMarker.data() + 2, 3) == 0) {
            GSensorSample sample;
            DecodeGSensorAxes(sample, record[i + 3], record[i + 4], record[i + 5],
                              SampleFormat::Marker, timeMs);
            parsed.sample = sample;
            break;
        }
    }
    return parsed;
}

}  // namespace

bool ParseGpsSentence(CVOKAGPSData& fix, std::uint32_t timeMs, const char* text) {
    fix.timeMs = timeMs;
    std::string_view rest(text, strnlen(text, kRecordBufferSize - 1));
    while (!rest.empty() && rest.front() == ',') {
        rest.remove_prefix(1);
    }
    bool textLeft = true;
    for (int index = 0; index <= 9; ++index) {
        if (!textLeft) {
            if (index <= 6) {
                fix.valid = 0;  // no whole position: a fix at 0 degrees would be drawn
            }
            return false;  // the text ended before field `index`
        }
        const std::size_t comma = rest.find(',');
        const std::string_view field = rest.substr(0, comma);
        if (comma == std::string_view::npos) {
            textLeft = false;
        } else {
            rest.remove_prefix(comma + 1);
        }
        switch (index) {
            case 1:
                fix.hour = group(field, 0) + 9;
                fix.minute = group(field, 1);
                fix.second = group(field, 2);
                break;
            case 2:
                fix.valid = !field.empty() && field.front() == 'A' ? 1 : 0;
                break;
            case 3:
                fix.latitude = number(field);
                fix.valid = isPosition(field, 90) ? fix.valid : 0;
                break;
            case 4:
                if (field.empty() || field.front() != 'N') {
                    fix.latitude = -fix.latitude;
                }
                break;
            case 5:
                fix.longitude = number(field);
                fix.valid = isPosition(field, 180) ? fix.valid : 0;
                break;
            case 6:
                if (field.empty() || field.front() != 'E') {
                    fix.longitude = -fix.longitude;
                }
                break;
            case 7:
                fix.speed = static_cast<float>(number(field) * 1.852);
                break;
            case 8:
                fix.course = static_cast<float>(number(field));
                break;
            case 9:
                fix.day = group(field, 0);
                fix.month = group(field, 1);
                fix.year = group(field, 2);
                break;
            default:
                break;  // the tag
        }
    }
    return true;
}

void DecodeGSensorAxes(GSensorSample& sample, std::int32_t a, std::int32_t b, std::int32_t c,
                       SampleFormat format, std::uint32_t timeMs) {
    sample.x = axis(a, format);
    sample.y = axis(b, format);
    sample.z = axis(c, format);
    sample.format = static_cast<std::int32_t>(format);
    sample.timeMs = static_cast<std::int32_t>(timeMs);
}

ParsedRecord parseRecord(RecordBuffer r, std::uint32_t timeMs) {
    if (std::memcmp(r.data(), kMarker.data(), kMarker.size()) == 0) {
        GSensorSample sample;
        DecodeGSensorAxes(sample, r[5], r[6], r[7], SampleFormat::Marker, timeMs);
        return {true, false, std::nullopt, sample};
    }
    if (r[0] == 'S') {
        GSensorSample sample;  // an unknown depth code leaves an all-zero sample at time 0
        if (r[1] == 8) {
            DecodeGSensorAxes(sample, r[2], r[4], r[6], SampleFormat::Packed8, timeMs);
        } else if (r[1] == 10) {
            DecodeGSensorAxes(sample, le16(&r[2]), le16(&r[4]), le16(&r[6]), SampleFormat::Packed10,
                              timeMs);
        }
        return {true, false, std::nullopt, sample};
    }
    if (r[0] == 'G') {
        return gpsRecord(r, 0, timeMs);
    }
    if (r[12] == 'G') {
        return gpsRecord(r, 12, timeMs);
    }
    return {};
}

float gravityOf(std::int32_t raw, bool tenBit) {
    const double scale = tenBit ? 0.1103515625 : 0.44140625;
    return static_cast<float>(raw * scale / 7.0 * 0.5);
}

double decimalDegrees(double value) {
    const double d = value * 0.01;
    const double whole = std::trunc(d);
    return whole + (d - whole) * 100.0 / 60.0;
}

}  // namespace qelv::core
