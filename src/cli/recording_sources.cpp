#include "cli/recording_sources.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "storage/recording_name.h"
#include "wyfs/wyfs_listing.h"
#include "wyfs/wyfs_volume.h"

namespace qelv::cli {

namespace {

namespace fs = std::filesystem;

bool isFrontRecording(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const core::RecordingName name = core::parseRecordingName(path.filename().string());
    return (extension == ".mp4" || extension == ".avi") &&
           name.camera == core::CameraChannel::Front && !name.companionFile;
}

// The front recordings below `root`, in path order; nothing (and the reason on `err`) when the
// folder cannot be read. Linked folders are not followed, so a loop of links ends.
std::optional<std::vector<std::string>> recordingsBelow(const std::string& root,
                                                        const std::string& command,
                                                        std::ostream& err) {
    std::error_code error;
    fs::recursive_directory_iterator it(root, fs::directory_options::skip_permission_denied, error);
    std::vector<std::string> found;
    while (!error && it != fs::recursive_directory_iterator()) {
        std::error_code typeError;
        if (it->is_regular_file(typeError) && isFrontRecording(it->path())) {
            found.push_back(it->path().string());
        }
        it.increment(error);
    }
    if (error) {
        err << command << ": cannot read the folder " << root << ": " << error.message() << '\n';
        return std::nullopt;
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

RecordingSources::~RecordingSources() {
    if (m_card != nullptr) {
        QV_WyFS_Device_Close(m_card);
    }
}

bool RecordingSources::addPaths(const std::vector<std::string>& paths, std::ostream& err) {
    bool allRead = true;
    for (const std::string& path : paths) {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0) {
            err << m_command << ": cannot read " << path << ": " << std::strerror(errno) << '\n';
            allRead = false;
        } else if (S_ISDIR(info.st_mode)) {
            const auto found = recordingsBelow(path, m_command, err);
            allRead = allRead && found.has_value();
            for (const std::string& file : found.value_or(std::vector<std::string>{})) {
                m_recordings.push_back({file, fs::path(file).filename().string(), {}, false});
            }
        } else {
            m_recordings.push_back({path, fs::path(path).filename().string(), {}, true});
        }
    }
    return allRead;
}

bool RecordingSources::addImage(const std::string& image, const std::vector<std::string>& names,
                                std::ostream& err) {
    if (QV_WyFS_Device_Open(image.c_str(), 130, &m_device) != 0) {
        err << m_command << ": cannot open the WyFS image " << image << '\n';
        return false;
    }
    m_card = &m_device;
    for (const std::string& name : names) {
        const std::size_t slash = name.find('/');
        if (slash == std::string::npos) {
            err << m_command << ": " << name << ": name a recording as DIR/NAME\n";
            return false;
        }
        m_recordings.push_back(
            {image + ":" + name, name.substr(slash + 1), name.substr(0, slash), true});
    }
    if (!names.empty()) {
        return true;
    }
    const auto volume = wyfs::Volume::open(image);
    if (!volume) {
        err << m_command << ": " << image << " holds no WyFS volume\n";
        return false;
    }
    for (const auto& dir : volume->directories()) {
        for (const wyfs::ListedFile& file : wyfs::listDirectory(m_card, dir.name)) {
            if (!core::isCompanionName(file.name)) {
                m_recordings.push_back(
                    {image + ":" + dir.name + "/" + file.name, file.name, dir.name, false});
            }
        }
    }
    return true;
}

events::Thresholds thresholdOptions(const ParsedOptions& o) {
    const events::Thresholds defaults;
    const auto threshold = [&o](const char* name, double fallback, events::ThresholdRange range) {
        return o.number(name, fallback, range.lowest, range.highest);
    };
    events::Thresholds t;
    t.brakingKmhPerS = threshold("--braking", defaults.brakingKmhPerS, events::kBrakingRange);
    t.brakingMinStartKmh =
        threshold("--braking-from", defaults.brakingMinStartKmh, events::kBrakingFromRange);
    t.impactG = threshold("--impact", defaults.impactG, events::kImpactRange);
    t.swerveG = threshold("--swerve", defaults.swerveG, events::kSwerveRange);
    return t;
}

std::optional<bool> RecordingSources::addNamed(const ParsedOptions& options, std::ostream& err) {
    if (const auto image = options.value("--wyfs")) {
        const bool allRead = addImage(*image, options.positional, err);
        return imageOpened() ? std::optional(allRead) : std::nullopt;
    }
    return addPaths(options.positional, err);
}

events::RecordingTrack RecordingSources::read(std::size_t k) const {
    const SourceRecording& r = m_recordings.at(k);
    core::RecordingLocation where;
    if (m_card != nullptr) {
        where.card = m_card;
        where.cardDir = r.cardDir;
        where.cardName = r.fileName;
    } else {
        where.path = r.label;
    }
    return events::readRecordingTrack(where);
}

}  // namespace qelv::cli
