// The control bar's rules that are numbers and texts, apart from its widgets: the rate
// table, the volume levels, the time read-outs and when a new recording gets its rate.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qelv::media {

// Rate-slider position p (1 to 10) selects entry p - 1; position 6 is 1.0.
inline constexpr std::array<float, 10> kRateTable{0.5f, 0.6f, 0.7f, 0.8f, 0.9f,
                                                  1.0f, 1.3f, 1.5f, 1.7f, 2.0f};
inline constexpr int kDefaultRatePosition = 6;
inline constexpr int kSlowestSettledRateIndex = 4;  // 0.9, applied first after a slow start

// The rate of a rate-slider position, positions outside 1 to 10 taken as the nearest end.
float rateOfPosition(int position);
// "x1.3": the rate read-out.
std::string rateText(float rate);

// The volume slider never goes above 90 for the engine and the sound output.
inline constexpr int kMaxVolume = 90;
int effectiveVolume(int sliderPosition);
// The output's 16-bit level for each channel: trunc(v × 655.35) of the effective volume
// (50 gives 32767, 90 gives 58981).
std::uint16_t outputLevel(int sliderPosition);

// "MM:SS" of a time in milliseconds; minutes are not limited (75 minutes: "75:00").
std::string timeText(std::uint64_t ms);

// A recording just opened plays its first moments at 1.0 before the chosen rate can take:
// once the position is past 100 ms the rate slider's rate is applied; a recording that stays
// at the start for 16 ticks of the 100 ms timer gets 0.9 and then the slider's rate on the
// seventeenth.
class RateReapplication {
public:
    // Marks a recording as just opened (or a previous/next move as started).
    void newRecording() { m_pending = true; }
    bool pending() const { return m_pending; }
    // One timer tick at `positionMs`; the rate-table indices to apply now, in order.
    std::vector<int> tick(std::uint64_t positionMs, int sliderIndex);

private:
    bool m_pending = true;  // a new start counts as a new recording
    int m_ticks = 0;
};

}  // namespace qelv::media
