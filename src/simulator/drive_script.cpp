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

// "G$" + the sentence + "*" + its checksum and CR LF, as the recorder writes it.
std::string withChecksum(const char* body) {
    unsigned checksum = 0;
    for (const char* c = body; *c != '\0'; ++c) {
        checksum ^= static_cast<unsigned char>(*c);
    }
    std::array<char, 160> sentence{};
    std::snprintf(sentence.data(), sentence.size(), "G$%s*%02X\r\n", body, checksum);
    return sentence.data();
}

std::string rmcSentence(const DriveSecond& s, const LocalTime& utc) {
    std::array<char, 128> body{};
    std::snprintf(body.data(), body.size(),
                  "GPRMC,%02d%02d%02d.00,A,%09.4f,%c,%010.4f,%c,%05.1f,%05.1f,%02d%02d%02d,,,A",
                  utc.hour, utc.minute, utc.second, nmeaDegrees(s.latitude),
                  s.latitude >= 0 ? 'N' : 'S', nmeaDegrees(s.longitude),
                  s.longitude >= 0 ? 'E' : 'W', s.speedKmh * kKnotsPerKmh, s.courseDeg, utc.day,
                  utc.month, utc.year % 100);
    return withChecksum(body.data());
}

// A receiver without a fix still sends its sentence: the time, status V, no position.
std::string lostSentence(const LocalTime& utc) {
    std::array<char, 64> body{};
    std::snprintf(body.data(), body.size(), "GPRMC,%02d%02d%02d.00,V,,,,,,,%02d%02d%02d,,,N",
                  utc.hour, utc.minute, utc.second, utc.day, utc.month, utc.year % 100);
    return withChecksum(body.data());
}

// A drive with the troubles of a real one and incidents planted where a test can find them.
class RealisticDrive {
public:
    RealisticDrive(int seconds, std::uint64_t seed, int incidents)
        : m_seconds(std::max(seconds, 0)), m_random(seed * 0x9E3779B97F4A7C15ull + 11) {
        m_kind.assign(static_cast<std::size_t>(m_seconds), Mark::Free);
        placeIncidents(incidents);
        placeTroubles();
    }

    DrivePlan plan() {
        DrivePlan out;
        double latitude = 37.5665 + 0.02 * between(-1, 1);
        double longitude = 126.9780 + 0.02 * between(-1, 1);
        double course = between(0, 360);
        double speed = 0;
        const double cruise = between(45, 85), swing = between(5, 15), period = between(7, 12);
        const double turning = between(2, 8);  // degrees a second at most, in curves
        std::size_t next = 0;                  // the next planted incident
        int swerveSide = 1;
        for (int t = 0; t < m_seconds; ++t) {
            const double before = speed;
            double target = cruise + swing * std::sin(t / period);
            const PlantedIncident* incident = nullptr;
            while (next < m_planted.size() &&
                   t > m_planted[next].second + m_planted[next].seconds) {
                ++next;
            }
            if (next < m_planted.size()) {
                incident = &m_planted[next];
                if (incident->kind == PlantedKind::Braking && t + 6 >= incident->second &&
                    t <= incident->second) {
                    target = std::max(target, 60.0);  // brakes from a speed worth braking from
                }
            }
            const bool braking = incident && incident->kind == PlantedKind::Braking &&
                                 t > incident->second && t <= incident->second + incident->seconds;
            if (braking) {
                PlantedIncident& brake = m_planted[next];
                if (t == brake.second + 1) {  // fewer or gentler seconds where the car is slow
                    while (brake.seconds > 1 && speed - brake.seconds * brake.peak < 5) {
                        --brake.seconds;
                    }
                    brake.peak = std::min(brake.peak, speed - 5);
                }
                speed -= brake.peak;
            } else {
                speed += std::clamp(target - speed, -4.0, 6.0);
            }
            const double turn = turning * std::sin(t / 13.0 + cruise);
            course = std::fmod(course + turn + 360.0, 360.0);
            double lateralG = speed / 3.6 * turn * kPi / 180.0 / 9.81 + 0.035 * gauss();
            double verticalG = 1.0 + 0.04 * gauss();
            double longitudinalG = (speed - before) / 3.6 / 9.81 + 0.035 * gauss();
            const bool shock =
                incident && t >= incident->second && t < incident->second + incident->seconds;
            if (shock && incident->kind == PlantedKind::Swerve) {
                lateralG = swerveSide * between(0.8, 1.0) + 0.035 * gauss();
                m_planted[next].peak = std::max(m_planted[next].peak, std::fabs(lateralG));
                swerveSide = -swerveSide;
            } else if (shock && incident->kind == PlantedKind::Impact) {
                blow(incident->peak, lateralG, verticalG, longitudinalG);
            } else if (!incident || std::abs(t - incident->second) > 1) {
                if (unit() < 0.1) {  // a pothole or a speed bump
                    verticalG += (unit() < 0.5 ? -1 : 1) * between(0.2, 0.6);
                }
            }

            const double metres = speed / 3.6;
            latitude += metres * std::cos(course * kPi / 180.0) / 111320.0;
            longitude += metres * std::sin(course * kPi / 180.0) /
                         (111320.0 * std::cos(latitude * kPi / 180.0));
            DriveSecond second{t >= kSecondsWithoutFix,
                               latitude,
                               longitude,
                               std::max(0.0, speed + 0.7 * gauss()),
                               course,
                               sensorByte(lateralG),
                               sensorByte(verticalG),
                               sensorByte(longitudinalG),
                               false};
            trouble(t, second);
            out.seconds.push_back(second);
        }
        out.incidents = m_planted;
        return out;
    }

private:
    enum class Mark { Free, Incident, Dropout, Jump, Spike };

    double unit() { return std::uniform_real_distribution<double>(0.0, 1.0)(m_random); }
    double between(double a, double b) { return a + (b - a) * unit(); }
    double gauss() { return std::normal_distribution<double>(0.0, 1.0)(m_random); }
    int whole(int a, int b) { return std::uniform_int_distribution<int>(a, b)(m_random); }

    // Incidents at least eight seconds apart, spread over the drive after the first fix, in
    // the kinds taken in turn from a random one.
    void placeIncidents(int count) {
        // Braking needs a fix before it; three seconds of it and a fix after still fit.
        const int first = kSecondsWithoutFix + 3, last = m_seconds - 5;
        count = std::min(count, (last - first + 1) / 8);
        if (count <= 0) {
            return;
        }
        const double slot = double(last - first + 1) / count;
        const int kind0 = whole(0, 2);
        for (int i = 0; i < count; ++i) {
            const int from = first + static_cast<int>(std::ceil(i * slot));
            const int to = std::max(from, first + static_cast<int>(std::floor((i + 1) * slot)) - 8);
            PlantedIncident incident{static_cast<PlantedKind>((kind0 + i) % 3), whole(from, to), 1,
                                     0};
            switch (incident.kind) {
                case PlantedKind::Braking:
                    incident.seconds = whole(1, 3);
                    incident.peak = between(15, 26);
                    break;
                case PlantedKind::Impact:
                    incident.peak = between(1.9, 3.6);
                    break;
                case PlantedKind::Swerve:
                    incident.seconds = whole(1, 2);
                    break;
            }
            m_planted.push_back(incident);
            for (int t = incident.second - 3; t <= incident.second + incident.seconds + 3; ++t) {
                mark(t, Mark::Incident);
            }
        }
    }

    // One position jump, a dropout or two and, in half the drives, one impossible speed, each
    // on free seconds with a free second around it (a drive too short for them gets fewer).
    void placeTroubles() {
        placeFree(1, Mark::Jump);
        const int dropouts = whole(1, 2);
        for (int i = 0; i < dropouts; ++i) {
            placeFree(whole(2, 5), Mark::Dropout);
        }
        if (unit() < 0.5) {
            placeFree(1, Mark::Spike);
        }
    }

    void placeFree(int length, Mark what) {
        for (int tries = 0; tries < 50; ++tries) {
            const int start = whole(kSecondsWithoutFix + 1,
                                    std::max(kSecondsWithoutFix + 1, m_seconds - length - 2));
            bool free = start + length < m_seconds;
            for (int t = start - 1; free && t <= start + length; ++t) {
                free = t < 0 || t >= m_seconds || m_kind[static_cast<std::size_t>(t)] == Mark::Free;
            }
            if (free) {
                for (int t = start; t < start + length; ++t) {
                    mark(t, what);
                }
                return;
            }
        }
    }

    void mark(int t, Mark what) {
        if (t >= 0 && t < m_seconds) {
            m_kind[static_cast<std::size_t>(t)] = what;
        }
    }

    // A blow of `g` in a random direction: from ahead or behind, from the side, or between.
    void blow(double g, double& lateral, double& vertical, double& longitudinal) {
        const double pick = unit();
        const double angle = pick < 0.45 ? 0 : pick < 0.75 ? kPi / 2 : between(0.35, 1.2);
        const double sign = unit() < 0.5 ? -1 : 1;
        longitudinal += sign * g * std::cos(angle);
        lateral += sign * g * std::sin(angle);
        vertical += between(-0.3, 0.3);
    }

    // What the receiver makes of second `t`: lost, kilometres off, or an impossible speed.
    void trouble(int t, DriveSecond& second) {
        switch (m_kind[static_cast<std::size_t>(t)]) {
            case Mark::Dropout:
                second.lost = true;
                break;
            case Mark::Jump: {
                const double km = between(3, 40), bearing = between(0, 2 * kPi);
                second.latitude += km * std::cos(bearing) / 111.32;
                second.longitude +=
                    km * std::sin(bearing) / (111.32 * std::cos(second.latitude * kPi / 180.0));
                if (unit() < 0.5) {
                    second.speedKmh = between(0, 10);  // the glitch takes the speed with it
                }
                break;
            }
            case Mark::Spike:
                second.speedKmh = between(420, 1500);
                break;
            case Mark::Free:
            case Mark::Incident:
                break;
        }
    }

    int m_seconds;
    std::mt19937_64 m_random;
    std::vector<Mark> m_kind;
    std::vector<PlantedIncident> m_planted;
};

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
                        sensorByte(lateralG), sensorByte(verticalG), sensorByte(longitudinalG),
                        false});
    }
    return plan;
}

std::string_view plantedKindName(PlantedKind kind) {
    switch (kind) {
        case PlantedKind::Braking:
            return "braking";
        case PlantedKind::Impact:
            return "impact";
        case PlantedKind::Swerve:
            return "swerve";
    }
    return "braking";
}

DrivePlan planDrive(int seconds, std::uint64_t seed, const DriveOptions& options) {
    if (!options.realistic) {
        return {planDrive(seconds, seed), {}};
    }
    return RealisticDrive(seconds, seed, options.incidents).plan();
}

std::vector<std::uint8_t> telemetryRecord(const DriveSecond& second, const LocalTime& start,
                                          int index) {
    const LocalTime utc = addSeconds(start, index - 9 * 3600);
    std::string text = !second.fix   ? std::string("GXYZ")
                       : second.lost ? lostSentence(utc)
                                     : rmcSentence(second, utc);
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
