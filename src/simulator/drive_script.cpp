#include "simulator/drive_script.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <random>
#include <string>

namespace qelv::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kKnotsPerKmh = 1.0 / 1.852;
constexpr double kRawPerG = 31.7;  // 8-bit sensor: 0.0315 g per unit
constexpr int kSecondsWithoutFix = 2;

std::uint8_t sensorByte(double g) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(std::fabs(g) * kRawPerG), 0L, 127L));
}

// ddmm.mmmm from decimal degrees.
double nmeaDegrees(double decimal) {
    const double magnitude = std::fabs(decimal);
    const double whole = std::floor(magnitude);
    return whole * 100.0 + (magnitude - whole) * 60.0;
}

std::string rmcSentence(const DriveSecond& s, const LocalTime& utc) {
    std::array<char, 128> body{};
    std::snprintf(body.data(), body.size(),
                  "GPRMC,%02d%02d%02d.00,A,%09.4f,%c,%010.4f,%c,%05.1f,%05.1f,%02d%02d%02d,,,A",
                  utc.hour, utc.minute, utc.second, nmeaDegrees(s.latitude),
                  s.latitude >= 0 ? 'N' : 'S', nmeaDegrees(s.longitude),
                  s.longitude >= 0 ? 'E' : 'W', s.speedKmh * kKnotsPerKmh, s.courseDeg, utc.day,
                  utc.month, utc.year % 100);
    unsigned checksum = 0;
    for (const char* c = body.data(); *c != '\0'; ++c) {
        checksum ^= static_cast<unsigned char>(*c);
    }
    std::array<char, 160> sentence{};
    std::snprintf(sentence.data(), sentence.size(), "G$%s*%02X\r\n", body.data(), checksum);
    return sentence.data();
}

}  // namespace

std::int64_t unixSeconds(const LocalTime& time) {
    std::tm tm{};
    tm.tm_year = time.year - 1900;
    tm.tm_mon = time.month - 1;
    tm.tm_mday = time.day;
    tm.tm_hour = time.hour;
    tm.tm_min = time.minute;
    tm.tm_sec = time.second;
    return timegm(&tm);
}

LocalTime addSeconds(const LocalTime& time, std::int64_t seconds) {
    const std::time_t t = static_cast<std::time_t>(unixSeconds(time) + seconds);
    std::tm out{};
    gmtime_r(&t, &out);
    return {out.tm_year + 1900, out.tm_mon + 1, out.tm_mday, out.tm_hour, out.tm_min, out.tm_sec};
}

std::vector<DriveSecond> planDrive(int seconds, std::uint64_t seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> jitter(-1.0, 1.0);
    double latitude = 37.5665 + 0.02 * jitter(random);
    double longitude = 126.9780 + 0.02 * jitter(random);
    double course = 360.0 * (0.5 + 0.5 * jitter(random));
    double speed = 0.0;
    const int brakeAt = std::max(kSecondsWithoutFix + 1, seconds * 3 / 5);

    std::vector<DriveSecond> plan;
    plan.reserve(static_cast<std::size_t>(std::max(seconds, 0)));
    for (int t = 0; t < seconds; ++t) {
        double longitudinalG = 0.05 * jitter(random);
        const double before = speed;
        if (t >= brakeAt && t < brakeAt + 3) {
            speed = std::max(5.0, speed - 20.0);  // hard braking: about 0.6 g
        } else {
            const double target = 55.0 + 15.0 * std::sin(t / 9.0);
            speed += std::clamp(target - speed, -4.0, 6.0);
        }
        longitudinalG += (speed - before) / 3.6 / 9.81;
        course = std::fmod(course + 6.0 * std::sin(t / 13.0) + 360.0, 360.0);
        const double lateralG = 0.15 * std::sin(t / 13.0) + 0.03 * jitter(random);
        const double verticalG = 1.0 + 0.08 * jitter(random);

        const double metres = speed / 3.6;
        latitude += metres * std::cos(course * kPi / 180.0) / 111320.0;
        longitude +=
            metres * std::sin(course * kPi / 180.0) / (111320.0 * std::cos(latitude * kPi / 180.0));
        plan.push_back({t >= kSecondsWithoutFix, latitude, longitude, speed, course,
                        sensorByte(lateralG), sensorByte(verticalG), sensorByte(longitudinalG)});
    }
    return plan;
}

std::vector<std::uint8_t> telemetryRecord(const DriveSecond& second, const LocalTime& start,
                                          int index) {
    std::string text =
        second.fix ? rmcSentence(second, addSeconds(start, index - 9 * 3600)) : std::string("GXYZ");
    std::vector<std::uint8_t> record(text.begin(), text.end());
    for (char c : std::string_view("QELVM")) {
        record.push_back(static_cast<std::uint8_t>(c));
    }
    record.push_back(second.gx);
    record.push_back(second.gy);
    record.push_back(second.gz);
    record.insert(record.end(), 8, 0);
    return record;
}

}  // namespace qelv::sim
