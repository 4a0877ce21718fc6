#include "telemetry/telemetry_export.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "common/utf8.h"

namespace qelv::core {

namespace {

// A JSON number in its shortest exact form; JSON has no infinity, so a value beyond single
// precision (a speed of "1e300" knots) is null.
std::string jsonNumber(double v) {
    if (!std::isfinite(v)) {
        return "null";
    }
    std::array<char, 64> text{};  // the shortest form of a double takes at most 24
    const auto result = std::to_chars(text.data(), text.data() + text.size(), v);
    return std::string(text.data(), result.ptr);
}

// `decimals` after the point, every digit before it (a latitude of 1e200 has 199): nothing is
// cut off. Empty for a value that is not finite.
std::string fixed(double v, int decimals) {
    if (!std::isfinite(v)) {
        return {};
    }
    const int length = std::snprintf(nullptr, 0, "%.*f", decimals, v);
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), "%.*f", decimals, v);
    text.pop_back();
    return text;
}

// Text for XML 1.0 content and attributes: markup escaped, and every byte sequence that is no
// XML character (control characters, bytes that are not UTF-8, U+FFFE and U+FFFF) replaced
// by U+FFFD, so that a file name from the card cannot make the document unreadable.
std::string xmlEscape(std::string_view text) {
    std::string out;
    while (!text.empty()) {
        const auto decoded = decodeUtf8(text);
        const char32_t c = decoded ? decoded->code : 0;
        const bool xmlChar = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xFFFD) ||
                             c >= 0x10000;  // decodeUtf8 gives no surrogates
        if (!decoded || !xmlChar) {
            out += kReplacementCharacter;
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '"') {
            out += "&quot;";
        } else {
            out.append(text.substr(0, decoded->length));
        }
        text.remove_prefix(decoded ? decoded->length : 1);
    }
    return out;
}

// "2024-01-31T03:00:05Z": the sentence's own UTC date and time (the stored hour is +9).
std::string utcTime(const CVOKAGPSData& f) {
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02dT%02d:%02d:%02dZ", 2000 + f.year,
                  f.month, f.day, f.hour - 9, f.minute, f.second);
    return text.data();
}

bool plausible(const CVOKAGPSData& f) {
    return f.valid == 1 && f.month >= 1 && f.month <= 12 && f.day >= 1 && f.day <= 31 &&
           f.hour >= 9 && f.hour < 33 && f.minute >= 0 && f.minute < 60 && f.second >= 0 &&
           f.second < 61;
}

// A fix a map can place: a plausible valid fix on the globe, every number finite.
bool mappable(const CVOKAGPSData& f) {
    const double latitude = decimalDegrees(f.latitude);
    const double longitude = decimalDegrees(f.longitude);
    return plausible(f) && std::isfinite(latitude) && std::isfinite(longitude) &&
           std::abs(latitude) <= 90.0 && std::abs(longitude) <= 180.0 && std::isfinite(f.speed) &&
           std::isfinite(f.course);
}

}  // namespace

std::vector<ExportedRecord> readAllRecords(TextTrackSource& source) {
    std::vector<ExportedRecord> records;
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    std::uint32_t timeMs = 0;
    while (source.read(buffer) == 0) {
        ParsedRecord parsed = parseRecord(buffer, timeMs);
        if (!parsed.accepted) {
            continue;
        }
        records.push_back({timeMs, parsed.fix, parsed.sample});
        timeMs += 1000;
    }
    return records;
}

std::optional<RoutePoint> routePoint(const CVOKAGPSData& fix, std::uint32_t timeMs) {
    if (!mappable(fix)) {
        return std::nullopt;
    }
    return RoutePoint{decimalDegrees(fix.longitude), decimalDegrees(fix.latitude), timeMs};
}

std::vector<RoutePoint> mappableRoute(const std::vector<ExportedRecord>& records) {
    std::vector<RoutePoint> route;
    for (const ExportedRecord& r : records) {
        if (const auto point = r.fix ? routePoint(*r.fix, r.timeMs) : std::nullopt) {
            route.push_back(*point);
        }
    }
    return route;
}

std::string exportJson(const std::vector<ExportedRecord>& records) {
    std::string fixes, samples;
    for (const ExportedRecord& r : records) {
        if (r.fix) {
            const CVOKAGPSData& f = *r.fix;
            fixes +=
                std::string(fixes.empty() ? "" : ", ") + "{\"year\": " + std::to_string(f.year) +
                ", \"month\": " + std::to_string(f.month) + ", \"day\": " + std::to_string(f.day) +
                ", \"hour\": " + std::to_string(f.hour) +
                ", \"minute\": " + std::to_string(f.minute) +
                ", \"second\": " + std::to_string(f.second) +
                ", \"valid\": " + std::to_string(f.valid) +
                ", \"latitude\": " + jsonNumber(f.latitude) +
                ", \"longitude\": " + jsonNumber(f.longitude) +
                ", \"speed\": " + jsonNumber(f.speed) + ", \"course\": " + jsonNumber(f.course) +
                ", \"timeMs\": " + std::to_string(f.timeMs) + "}";
        }
        if (r.sample) {
            const GSensorSample& s = *r.sample;
            samples += std::string(samples.empty() ? "" : ", ") + "{\"x\": " + std::to_string(s.x) +
                       ", \"y\": " + std::to_string(s.y) + ", \"z\": " + std::to_string(s.z) +
                       ", \"format\": " + std::to_string(s.format) +
                       ", \"timeMs\": " + std::to_string(s.timeMs) + "}";
        }
    }
    return "{\"fixes\": [" + fixes + "], \"samples\": [" + samples + "]}\n";
}

std::string exportCsv(const std::vector<ExportedRecord>& records) {
    // The list's first sample decides the scale for all, as on the viewer's panel.
    bool tenBit = false;
    for (const ExportedRecord& r : records) {
        if (r.sample) {
            tenBit = r.sample->format == static_cast<std::int32_t>(SampleFormat::Packed10);
            break;
        }
    }
    std::string out = "time_s,latitude,longitude,speed_kmh,course,x_g,y_g,z_g\n";
    for (const ExportedRecord& r : records) {
        out += fixed(r.timeMs / 1000.0, 0);
        if (r.fix && r.fix->valid == 1) {
            out += "," + fixed(decimalDegrees(r.fix->latitude), 7) + "," +
                   fixed(decimalDegrees(r.fix->longitude), 7) + "," + fixed(r.fix->speed, 2) + "," +
                   fixed(r.fix->course, 1);
        } else {
            out += ",,,,";
        }
        if (r.sample) {
            out += "," + fixed(gravityOf(r.sample->x, tenBit), 3) + "," +
                   fixed(gravityOf(r.sample->y, tenBit), 3) + "," +
                   fixed(gravityOf(r.sample->z, tenBit), 3);
        } else {
            out += ",,,";
        }
        out += "\n";
    }
    return out;
}

std::string exportGpx(const std::vector<ExportedRecord>& records, const std::string& name) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"QELV Viewer\" xmlns=\"http://www.topografix.com/GPX/1/1\" "
        "xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\">\n"
        "  <trk>\n    <name>" +
        xmlEscape(name) + "</name>\n    <trkseg>\n";
    for (const ExportedRecord& r : records) {
        if (!r.fix || !mappable(*r.fix)) {
            continue;
        }
        const CVOKAGPSData& f = *r.fix;
        out += "      <trkpt lat=\"" + fixed(decimalDegrees(f.latitude), 7) + "\" lon=\"" +
               fixed(decimalDegrees(f.longitude), 7) + "\">\n        <time>" + utcTime(f) +
               "</time>\n        <extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>" +
               fixed(f.speed / 3.6, 2) + "</gpxtpx:speed><gpxtpx:course>" + fixed(f.course, 1) +
               "</gpxtpx:course></gpxtpx:TrackPointExtension></extensions>\n      </trkpt>\n";
    }
    return out + "    </trkseg>\n  </trk>\n</gpx>\n";
}

std::string exportKml(const std::vector<ExportedRecord>& records, const std::string& name) {
    std::vector<std::string> points;
    for (const ExportedRecord& r : records) {
        if (r.fix && mappable(*r.fix)) {
            points.push_back(fixed(decimalDegrees(r.fix->longitude), 7) + "," +
                             fixed(decimalDegrees(r.fix->latitude), 7) + ",0");
        }
    }
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<kml xmlns=\"http://www.opengis.net/kml/2.2\">\n  <Document>\n    <name>" +
        xmlEscape(name) + "</name>\n";
    // A line needs two points: a single fix is a point, no fix no placemark.
    if (points.size() == 1) {
        out +=
            "    <Placemark>\n      <name>Position</name>\n      <Point>\n"
            "        <coordinates>" +
            points[0] + "</coordinates>\n      </Point>\n    </Placemark>\n";
    } else if (points.size() > 1) {
        out +=
            "    <Placemark>\n      <name>Route</name>\n      <LineString>\n"
            "        <tessellate>1</tessellate>\n        <coordinates>\n";
        for (const std::string& point : points) {
            out += "          " + point + "\n";
        }
        out += "        </coordinates>\n      </LineString>\n    </Placemark>\n";
    }
    return out + "  </Document>\n</kml>\n";
}

}  // namespace qelv::core
