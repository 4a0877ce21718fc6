// The recordings a command that reads many is given: files and folders (every front recording
// below a folder), or a WyFS card image (all of it, or the recordings named DIR/NAME), read one
// at a time without writing; and a progress bar for large cards.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/options.h"
#include "events/incident_detector.h"
#include "events/recording_track.h"
#include "wyfs/wyfs.h"

namespace qelv::cli {

struct SourceRecording {
    std::string label;     // what the output names: the path, or IMAGE:DIR/NAME
    std::string fileName;  // the name alone: category and start time
    std::string cardDir;   // the WyFS directory; empty for a file
    bool named = false;    // given by name: failing to read it fails the command
};

class RecordingSources {
public:
    // `command` starts the messages on the error stream ("qelv events").
    explicit RecordingSources(std::string command) : m_command(std::move(command)) {}
    ~RecordingSources();
    RecordingSources(const RecordingSources&) = delete;
    RecordingSources& operator=(const RecordingSources&) = delete;

    // Adds the recordings of the PATHs; false when one cannot be read (said on `err`).
    bool addPaths(const std::vector<std::string>& paths, std::ostream& err);
    // Opens the WyFS image and adds the recordings named ("DIR/NAME"), or every recording of
    // the card's directories but the second and third cameras' files. False when the image or
    // a name is unusable (said on `err`).
    bool addImage(const std::string& image, const std::vector<std::string>& names,
                  std::ostream& err);
    // False when the image cannot be opened at all: the command fails at once.
    bool imageOpened() const { return m_card != nullptr; }
    // What a command line names: the image of --wyfs with the recordings named after it, or the
    // paths. Nothing when the image cannot be opened (the command fails at once); otherwise
    // whether everything named could be read (said on `err` when not).
    std::optional<bool> addNamed(const ParsedOptions& options, std::ostream& err);

    const std::vector<SourceRecording>& recordings() const { return m_recordings; }
    // The telemetry of recording `k`; its problem says why it cannot be read.
    events::RecordingTrack read(std::size_t k) const;

private:
    std::string m_command;
    std::vector<SourceRecording> m_recordings;
    CardDeviceHandle m_device{};
    CardDeviceHandle* m_card = nullptr;
};

// The incident thresholds of the command line (--braking, --braking-from, --impact, --swerve),
// the detector's defaults for those not given. Throws UsageError for a value out of range.
events::Thresholds thresholdOptions(const ParsedOptions& options);
// Their lines of a command's usage text (a macro, so that it joins the text's literal).
#define QELV_THRESHOLD_USAGE                                                                   \
    "  --braking KMH_PER_S   speed lost in one second that is hard braking (default 12)\n"     \
    "  --braking-from KMH    braking counts from this speed up (default 10)\n"                 \
    "  --impact G            a blow above the resting level that is an impact (default 1.5)\n" \
    "  --swerve G            a sideways push that is a swerve (default 0.6)\n"

// Cards with more recordings than this show a progress bar on a terminal.
inline constexpr std::size_t kProgressFrom = 300;

// A bar on standard error while a large card is read, when it is a terminal.
class Progress {
public:
    Progress(std::size_t total, std::ostream& err)
        : m_total(total), m_err(err), m_on(total > kProgressFrom && isatty(STDERR_FILENO) != 0) {}
    ~Progress() { clear(); }

    void show(std::size_t done) {
        const std::size_t percent = done * 100 / m_total;
        if (!m_on || percent == m_percent) {
            return;
        }
        m_percent = percent;
        constexpr std::size_t kWidth = 40;
        const std::size_t filled = done * kWidth / m_total;
        m_err << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] "
              << done << "/" << m_total << " recordings" << std::flush;
    }
    // Takes the bar off the line, for a note or the end.
    void clear() {
        if (m_on && m_percent != kNone) {
            m_err << "\r\033[K" << std::flush;
            m_percent = kNone;
        }
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::size_t m_total;
    std::ostream& m_err;
    bool m_on;
    std::size_t m_percent = kNone;
};

}  // namespace qelv::cli
