#include "telemetry/telemetry_records.h"

#include <gtest/gtest.h>

#include <cstring>

#include "telemetry/telemetry_state.h"

namespace qelv::core {
namespace {

std::array<std::uint8_t, kRecordBufferSize> record(std::string_view bytes) {
    std::array<std::uint8_t, kRecordBufferSize> buffer{};
    std::memcpy(buffer.data(), bytes.data(), std::min(bytes.size(), kRecordBufferSize - 1));
    return buffer;
}

TEST(TelemetryRecords, SampleShapes) {
    struct Case {
        const char* what;
        std::string bytes;
        std::int32_t x, y, z, format, timeMs;
    };
    const Case cases[] = {
        {"marker", std::string("QELVM\x05\x80\xFF", 8), 5, 128, 1, 0, 7000},
        {"packed 10 bits", std::string("S\x0A\x00\x00\xFF\x01\xFF\x03", 8), 512, 1, -511, 2, 7000},
        {"packed 8 bits, high bytes ignored", std::string("S\x08\x81\x01\x10\x00\xFF\x00", 8), 127,
         16, 1, 1, 7000},
        {"unknown depth code", std::string("S\x09\x01\x02\x03\x04\x05\x06", 8), 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto parsed = parseRecord(record(c.bytes), 7000);
        ASSERT_TRUE(parsed.accepted);
        EXPECT_FALSE(parsed.gps);
        EXPECT_FALSE(parsed.fix);
        ASSERT_TRUE(parsed.sample);
        EXPECT_EQ(parsed.sample->x, c.x);
        EXPECT_EQ(parsed.sample->y, c.y);
        EXPECT_EQ(parsed.sample->z, c.z);
        EXPECT_EQ(parsed.sample->format, c.format);
        EXPECT_EQ(parsed.sample->timeMs, c.timeMs);
    }
}

TEST(TelemetryRecords, AxisDecoding) {
    GSensorSample s;
    DecodeGSensorAxes(s, 0x00, 0x7F, 0x80, SampleFormat::Marker, 1);
    EXPECT_EQ(s.x, 0);
    EXPECT_EQ(s.y, 127);
    EXPECT_EQ(s.z, 128);
    DecodeGSensorAxes(s, 0, 511, 512, SampleFormat::Packed10, 1);
    EXPECT_EQ(s.x, 512);
    EXPECT_EQ(s.y, 1);
    EXPECT_EQ(s.z, 0);
    DecodeGSensorAxes(s, 1023, 0x3FF | 0x400, 0x1FF, SampleFormat::Packed10, 1);
    EXPECT_EQ(s.x, -511);
    EXPECT_EQ(s.y, -511);  // bits above the tenth are ignored
}

TEST(TelemetryRecords, GpsSentences) {
    struct Case {
        const char* sentence;
        bool complete;
        std::int32_t hour, minute, second, valid;
        double latitude, longitude, speed, course;
        std::int32_t day, month, year;
    };
    const Case cases[] = {
        {"G$GPRMC,203015.55,A,3730.5000,S,12658.1234,E,10.0,84.4,310124,,,A*6A", true, 29, 30, 15,
         1, -3730.5, 12658.1234, static_cast<float>(18.52), static_cast<float>(84.4), 31, 1, 24},
        {"G$GPRMC,010203,V,3730.5,N,12658.1,W,0,0,010225", true, 10, 2, 3, 0, 3730.5, -12658.1, 0,
         0, 1, 2, 25},
        // Leading commas are skipped; empty fields count. A fix without a position is not
        // valid, whatever its status says.
        {",,G,120000,A,,N,,E,,,0101-1", true, 21, 0, 0, 0, 0, 0, 0, 0, 1, 1, -1},
        // The text ends early: what was read stays, but a fix without its longitude is no fix.
        {"G$GPRMC,235959,A,3730.5000", false, 32, 59, 59, 0, 3730.5, 0, 0, 0, 0, 0, 0},
        {"GXYZ", false, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        // Groups that do not start with a digit are 0; numbers are read as far as they go, and
        // a position with anything after its number is no position.
        {"G,ab12cd,A,12.5x,N,7e1,E,1e400,nan,xx0199", true, 9, 12, 0, 0, 12.5, 70, 0, 0, 0, 1, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sentence);
        CVOKAGPSData fix;
        EXPECT_EQ(ParseGpsSentence(fix, 3000, c.sentence), c.complete);
        EXPECT_EQ(fix.timeMs, 3000u);
        EXPECT_EQ(fix.hour, c.hour);
        EXPECT_EQ(fix.minute, c.minute);
        EXPECT_EQ(fix.second, c.second);
        EXPECT_EQ(fix.valid, c.valid);
        EXPECT_DOUBLE_EQ(fix.latitude, c.latitude);
        EXPECT_DOUBLE_EQ(fix.longitude, c.longitude);
        EXPECT_DOUBLE_EQ(fix.speed, c.speed);
        EXPECT_DOUBLE_EQ(fix.course, c.course);
        EXPECT_EQ(fix.day, c.day);
        EXPECT_EQ(fix.month, c.month);
        EXPECT_EQ(fix.year, c.year);
    }
    CVOKAGPSData fix;
    ParseGpsSentence(fix, 0, "G,0,A,0,N,0,E,10.0,0,010124");
    // knots x 1.852 in single precision: 18.5200004577637, not 18.52
    EXPECT_NEAR(fix.speed, 18.5200004577637, 1e-12);
    EXPECT_NE(fix.speed, 18.52);
}

TEST(TelemetryRecords, GpsRecordsAndTheirMarkers) {
    const std::string sentence =
        "G$GPRMC,120000,A,3733.1000,N,12658.6000,E,030.0,090.0,310124,,,A*00\r\n";
    const auto plain = parseRecord(record(sentence + std::string("QELVM\x05\x20\x02", 8)), 2000);
    ASSERT_TRUE(plain.accepted && plain.fix && plain.sample);
    EXPECT_EQ(plain.sample->y, 32);
    // Byte 12 is "G": the sentence and the search start there.
    const auto prefixed =
        parseRecord(record("XXXXXXXXXXXXG,000000,A,1,N,1,E,0,0,010124LVM\x01\x02\x03"), 0);
    ASSERT_TRUE(prefixed.accepted && prefixed.fix && prefixed.sample);
    EXPECT_EQ(prefixed.fix->valid, 1);
    EXPECT_EQ(prefixed.sample->x, 1);
    // A marker beyond position 255 does not count.
    const auto far = parseRecord(record("G" + std::string(260, ',') + "LVM\x01\x02\x03"), 0);
    EXPECT_TRUE(far.accepted);
    EXPECT_FALSE(far.sample);
    EXPECT_FALSE(parseRecord(record("X nothing here"), 0).accepted);
    EXPECT_FALSE(parseRecord(record(""), 0).accepted);
}

TEST(TelemetryState, OneMinuteRuleAndRejectedRecords) {
    TelemetryState state;
    const auto gps =
        record(std::string("G$GPRMC,120000,A,3733.1,N,12658.6,E,1,1,310124QELVM\x01\x02\x03", 52));
    const auto packed = record(std::string("S\x08\x01\x00\x02\x00\x03\x00", 8));
    EXPECT_EQ(state.ParseTextRecord(gps, 59000), 0);
    EXPECT_EQ(state.ParseTextRecord(gps, 60000), 0);     // accepted, stores nothing
    EXPECT_EQ(state.ParseTextRecord(packed, 60000), 0);  // stored at any time
    EXPECT_EQ(state.ParseTextRecord(record("junk"), 1000), -1);
    std::size_t fixes = 0, samples = 0;
    state.walkFixes([&](const auto& list) { fixes = list.size(); });
    state.walkSamples([&](const auto& list) { samples = list.size(); });
    EXPECT_EQ(fixes, 1u);
    EXPECT_EQ(samples, 2u);
    state.clear();
    state.walkFixes([&](const auto& list) { fixes = list.size(); });
    EXPECT_EQ(fixes, 0u);
}

TEST(TelemetryState, CurrentFixSelection) {
    TelemetryState state;
    auto fixAt = [](std::uint32_t t, const char* status) {
        return record("G,000000," + std::string(status) +
                      ",3730.0000,N,12700.0000,E,0,0,010124  t" + std::to_string(t));
    };
    EXPECT_FALSE(state.SelectCurrentFix(0));
    state.ParseTextRecord(fixAt(0, "A"), 0);
    state.ParseTextRecord(fixAt(1, "A"), 1000);
    state.ParseTextRecord(fixAt(2, "V"), 2000);
    const auto first = state.SelectCurrentFix(0);  // the fix of the next whole second
    ASSERT_TRUE(first);
    EXPECT_DOUBLE_EQ(first->latitude, 37.5);
    EXPECT_DOUBLE_EQ(first->longitude, 127.0);
    EXPECT_EQ(state.currentFix().first.timeMs, 1000u);
    EXPECT_EQ(state.currentFix().second, 1);
    // The next fix is not valid, and after the last there is none: the current one stays.
    EXPECT_FALSE(state.SelectCurrentFix(1000));
    EXPECT_FALSE(state.SelectCurrentFix(5000));
    EXPECT_EQ(state.currentFix().first.timeMs, 1000u);
    // A first fix with a negative year clears it.
    state.clear();
    state.ParseTextRecord(record("G,000000,A,1,N,1,E,0,0,0101-1"), 0);
    EXPECT_FALSE(state.SelectCurrentFix(0));
    EXPECT_EQ(state.currentFix().second, 0);
    EXPECT_EQ(state.currentFix().first.valid, 0);
}

TEST(TelemetryRecords, DegreesAndGravity) {
    EXPECT_DOUBLE_EQ(decimalDegrees(3730.0), 37.5);
    EXPECT_DOUBLE_EQ(decimalDegrees(-3730.0), -37.5);
    EXPECT_FLOAT_EQ(gravityOf(128, false), 4.0357142f);
    EXPECT_FLOAT_EQ(gravityOf(512, true), 4.0357142f);
    EXPECT_FLOAT_EQ(gravityOf(32, false), static_cast<float>(32 * 0.44140625 / 14.0));
}

}  // namespace
}  // namespace qelv::core
