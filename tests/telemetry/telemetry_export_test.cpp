// The exports as other programs read them: JSON through Python's strict reader, numbers in
// full, and only fixes a map can place in GPX and KML.
#include "telemetry/telemetry_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "support/temp_dir.h"

namespace qelv::core {
namespace {

// The record a sentence makes, as the reader stores it.
ExportedRecord record(const std::string& sentence, std::uint32_t timeMs = 0) {
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    std::memcpy(buffer.data(), sentence.data(), std::min(sentence.size(), buffer.size() - 1));
    const ParsedRecord parsed = parseRecord(buffer, timeMs);
    return {timeMs, parsed.fix, parsed.sample};
}

std::string sentence(const std::string& lat, const std::string& lon, const std::string& knots,
                     const std::string& course) {
    return "G$GPRMC,120000.00,A," + lat + ",N," + lon + ",E," + knots + "," + course + ",310124";
}

// Runs a command with `input` on its standard input; its standard output and exit status.
std::pair<int, std::string> run(const std::string& command, const std::string& input) {
    test::TempDir dir;
    const auto in = dir.write("input", input);
    const std::string line = command + " < '" + in.string() + "' 2>&1";
    FILE* pipe = popen(line.c_str(), "r");
    std::string out;
    std::array<char, 4096> chunk{};
    for (std::size_t n; pipe != nullptr && (n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) {
        out.append(chunk.data(), n);
    }
    const int status = pipe == nullptr ? -1 : pclose(pipe);
    return {status, out};
}

// What xmllint makes of a document: "" when it is well-formed, its complaint otherwise.
std::string wellFormedness(const std::string& xml) {
    const auto [status, out] = run("xmllint --noout -", xml);
    return status == 0 ? "" : out.empty() ? "xmllint failed" : out;
}

// The value of an XPath expression over the document, as xmllint prints it (without the
// line end it adds).
std::string xpath(const std::string& xml, const std::string& expression) {
    std::string value = run("xmllint --xpath \"" + expression + "\" -", xml).second;
    if (!value.empty() && value.back() == '\n') {
        value.pop_back();
    }
    return value;
}

// Element names are matched without their namespace: count(//*[local-name()='trkpt']).
std::string countOf(const std::string& xml, const std::string& element) {
    return xpath(xml, "count(//*[local-name()='" + element + "'])");
}

// Python's reader, refusing the NaN and Infinity it would otherwise accept; prints every
// fix's speed and course.
constexpr const char* kStrictJson =
    "python3 -c 'import json,sys\n"
    "def bad(c): raise ValueError(c)\n"
    "d = json.load(sys.stdin, parse_constant=bad)\n"
    "print(\" \".join(\"%s/%s\" % (f[\"speed\"], f[\"course\"]) for f in d[\"fixes\"]))'";

TEST(TelemetryExport, JsonStaysValidWithNumbersOutOfRange) {
    const std::vector<ExportedRecord> records = {
        record(sentence("3733.1000", "12658.6000", "10.0", "90.0")),
        record(sentence("3733.1000", "12658.6000", "1e300", "-1e300")),
        record(sentence("9999.9999", "1e200", "10.0", "3.4e39")),
    };
    const auto [status, out] = run(kStrictJson, exportJson(records));
    ASSERT_EQ(status, 0) << out;
    // 10 knots = 18.52 km/h in single precision; beyond its range the values are null.
    EXPECT_EQ(out, "18.520000457763672/90 None/None 18.520000457763672/None\n");
}

TEST(TelemetryExport, CsvCarriesWholeNumbersAndNoInfinity) {
    const std::vector<ExportedRecord> records = {
        record(sentence("3733.1000", "12658.6000", "1e300", "1e30")),
    };
    const std::string csv = exportCsv(records);
    const std::string row = csv.substr(csv.find('\n') + 1);
    std::vector<std::string> fields;
    std::stringstream split(row.substr(0, row.find('\n')));
    for (std::string field; std::getline(split, field, ',');) {
        fields.push_back(field);
    }
    ASSERT_GE(fields.size(), 5u) << row;
    // A course of 1e30 degrees: thirty-one digits, none cut off.
    EXPECT_NEAR(std::strtod(fields[4].c_str(), nullptr) / 1e30, 1.0, 1e-7) << fields[4];
    EXPECT_EQ(fields[3], "");  // a speed beyond single precision has no value
    EXPECT_EQ(csv.find("inf"), std::string::npos) << csv;
}

TEST(TelemetryExport, MapsCarryOnlyFixesOnTheGlobe) {
    struct Case {
        const char* what;
        std::string sentence;
        bool onMap;
    };
    const Case cases[] = {
        {"a fix in Seoul", sentence("3733.1000", "12658.6000", "10.0", "90.0"), true},
        {"the south pole", "G$GPRMC,120000.00,A,9000.0000,S,18000.0000,W,0,0,310124", true},
        {"latitude past the pole", sentence("9999.9999", "12658.6000", "10.0", "90.0"), false},
        {"longitude past the date line", sentence("3733.1000", "18000.0001", "1", "1"), false},
        {"infinite speed", sentence("3733.1000", "12658.6000", "1e300", "90.0"), false},
        {"infinite course", sentence("3733.1000", "12658.6000", "10.0", "1e300"), false},
        {"a huge latitude", sentence("1e200", "12658.6000", "10.0", "90.0"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<ExportedRecord> records = {record(c.sentence)};
        const std::string gpx = exportGpx(records, "route");
        EXPECT_EQ(countOf(gpx, "trkpt"), c.onMap ? "1" : "0") << gpx;
        const std::string kml = exportKml(records, "route");
        EXPECT_EQ(countOf(kml, "coordinates"), c.onMap ? "1" : "0") << kml;
        EXPECT_EQ(gpx.find("inf"), std::string::npos);
        EXPECT_EQ(kml.find("inf"), std::string::npos);
    }
}

TEST(TelemetryExport, GpxAndKmlAreWellFormedForAnyNameAndFixCount) {
    // The check needs xmllint (libxml2-utils, installed by scripts/setup); without it the
    // test fails rather than passing unchecked.
    ASSERT_EQ(run("xmllint --version", "").first, 0)
        << "xmllint is missing: install libxml2-utils (scripts/setup)";
    const std::vector<ExportedRecord> route = {
        record(sentence("3733.1000", "12658.6000", "10.0", "90.0")),
        record(sentence("3733.2000", "12658.7000", "12.0", "91.0")),
        record(sentence("3733.3000", "12658.8000", "14.0", "92.0")),
    };
    const std::string replacement = "\xEF\xBF\xBD";  // U+FFFD
    struct Case {
        const char* what;
        std::string name;
        std::string shown;  // the name as an XML reader reads it back
    };
    const Case cases[] = {
        {"markup characters", "a & b <c> \"d\"", "a & b <c> \"d\""},
        {"control characters", "front\x01\x1b[0m\x7f",
         "front" + replacement + replacement + "[0m\x7f"},
        {"bytes that are not UTF-8", "clip\xff\xc0\xaf",
         "clip" + replacement + replacement + replacement},
        {"non-characters", "x\xEF\xBF\xBE\xEF\xBF\xBF", "x" + replacement + replacement},
        {"Korean and tabs", "주행\t기록", "주행\t기록"},
    };
    for (std::size_t fixes = 0; fixes <= route.size(); ++fixes) {
        const std::vector<ExportedRecord> records(route.begin(), route.begin() + fixes);
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", fixes: " + std::to_string(fixes));
            const std::string gpx = exportGpx(records, c.name);
            ASSERT_EQ(wellFormedness(gpx), "") << gpx;
            EXPECT_EQ(xpath(gpx, "string(//*[local-name()='trk']/*[local-name()='name'])"),
                      c.shown);
            EXPECT_EQ(countOf(gpx, "trkpt"), std::to_string(fixes));
            const std::string kml = exportKml(records, c.name);
            ASSERT_EQ(wellFormedness(kml), "") << kml;
            EXPECT_EQ(xpath(kml, "string(//*[local-name()='Document']/*[local-name()='name'])"),
                      c.shown);
            // A line needs two points: one fix is a point, none is no placemark at all.
            EXPECT_EQ(countOf(kml, "LineString"), fixes >= 2 ? "1" : "0");
            EXPECT_EQ(countOf(kml, "Point"), fixes == 1 ? "1" : "0");
            EXPECT_EQ(countOf(kml, "Placemark"), fixes >= 1 ? "1" : "0");
        }
    }
}

}  // namespace
}  // namespace qelv::core
