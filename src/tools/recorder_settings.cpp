#include "tools/recorder_settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "common/posix_io.h"

namespace qelv::core {

namespace {

constexpr std::string_view kScreenOff = "LCD_OFF_DUR";
constexpr std::string_view kScreenClock = "SCREEN_SAVER_EN";
constexpr std::string_view kTimeZone = "GMT_ID";
constexpr std::string_view kBoardVersion = "BOARD_VERSION";

// The two screen keys each screen choice writes: time-out, clock switch.
constexpr std::array<std::pair<std::int32_t, std::int32_t>, kScreenChoiceCount> kScreenValues{{
    {30, 0},
    {180, 0},
    {-1, 0},
    {30, 1},
}};

const ChoiceGroup* groupOfKey(std::string_view key) {
    for (const ChoiceGroup& group : kChoiceGroups) {
        if (group.key == key) {
            return &group;
        }
    }
    return nullptr;
}

const ChoiceGroup* groupOfChoice(int n) {
    for (const ChoiceGroup& group : kChoiceGroups) {
        if (n >= group.base && n < group.base + group.count) {
            return &group;
        }
    }
    return nullptr;
}

std::int32_t defaultOf(std::string_view key) {
    for (const RecorderSettingKey& k : kRecorderSettingKeys) {
        if (k.name == key) {
            return k.defaultValue;
        }
    }
    return 0;
}

int screenChoiceOf(std::int32_t timeout, std::int32_t clock) {
    if (clock != 0) {
        return kScreenChoiceBase + 3;
    }
    if (timeout == -1) {
        return kScreenChoiceBase + 2;
    }
    return timeout == 180 ? kScreenChoiceBase + 1 : kScreenChoiceBase;
}

}  // namespace

const std::array<std::string_view, 48> kTimeZoneNames{{
    "(GMT+0) Greenwich Mean Time: Lisbon, London",
    "(GMT+0) Casablanca, Dublin, Edinburgh",
    "(GMT+1) Belgrade, Bratislava, Budapest",
    "(GMT+1) Brussels, Copenhagen, Madrid, Paris",
    "(GMT+1) Amsterdam, Stockholm, Warsaw, Zagreb",
    "(GMT+1) Berlin, Bern, Prague, Rome, Vienna",
    "(GMT+1) West Central Africa",
    "(GMT+2) Helsinki, Kiev, Riga, Sofia, Tallinn",
    "(GMT+2) Cairo, Bucharest",
    "(GMT+2) Athens, Istanbul, Minsk, Vilnius",
    "(GMT+2) Harare, Jerusalem, Pretoria",
    "(GMT+3) Moscow, St. Petersburg, Volgograd",
    "(GMT+3) Baghdad, Kuwait, Nairobi, Riyadh",
    "(GMT+4) Abu Dhabi, Muscat",
    "(GMT+4) Baku, Tbilisi, Yerevan",
    "(GMT+5) Ekaterinburg",
    "(GMT+5) Islamabad, Karachi, Tashkent",
    "(GMT+6) Almaty, Astana, Novosibirsk",
    "(GMT+6) Dhaka, Sri Jayawardenepura",
    "(GMT+7) Bangkok, Hanoi, Jakarta, Krasnoyarsk",
    "(GMT+8) Beijing, Chongqing, Hong Kong SAR",
    "(GMT+8) Kuala Lumpur, Manila, Singapore",
    "(GMT+8) Irkutsk, Perth, Taipei, Ulaanbaatar",
    "(GMT+9) Seoul, Tokyo, Yakutsk",
    "(GMT+10) Canberra, Melbourne, Sydney",
    "(GMT+10) Brisbane, Guam, Vladivostok",
    "(GMT+11) New Caledonia, Solomon Islands",
    "(GMT+12) Fiji Islands, Kamchatka",
    "(GMT+12) Auckland, Wellington",
    "(GMT-12) International Date Line West",
    "(GMT-11) Midway Island, Samoa",
    "(GMT-10) Hawaii",
    "(GMT-9) Alaska",
    "(GMT-8) Pacific Time (US & Canada), Tijuana",
    "(GMT-7) Mountain Time (US & Canada)",
    "(GMT-7) Arizona, Chihuahua, La Paz, Mazatlan",
    "(GMT-6) Central Time (US & Canada)",
    "(GMT-6) Mexico City, Monterrey, Saskatchewan",
    "(GMT-6) Central America",
    "(GMT-5) Eastern Time (US and Canada)",
    "(GMT-5) Indiana (East)",
    "(GMT-5) Bogota, Lima, Quito",
    "(GMT-4) Atlantic Time (Canada)",
    "(GMT-4) Caracas, La Paz, Santiago",
    "(GMT-3) Brasilia, Greenland",
    "(GMT-3) Buenos Aires, Georgetown",
    "(GMT-2) Mid-Atlantic",
    "(GMT-1) Azores, Cape Verde Islands",
}};

void registerRecorderSettings(IniStore& store) {
    for (const RecorderSettingKey& key : kRecorderSettingKeys) {
        store.registerKey(key.name, key.defaultValue, key.upper);
    }
}

RecorderSettingsFile::RecorderSettingsFile(std::ostream& diag) : m_store(diag) {
    registerRecorderSettings(m_store);
}

namespace {

// Only a card that is there gets a settings file: a card pulled out would otherwise leave its
// mount point's folder to be filled on the PC's own disk, and a card without a folder (a WyFS
// card) the viewer's working folder.
std::string cardProblem(const std::filesystem::path& cardRoot) {
    std::error_code error;
    if (cardRoot.empty()) {
        return "the card has no folder on this PC to hold the settings file";
    }
    if (!std::filesystem::is_directory(cardRoot, error)) {
        return "the card folder " + cardRoot.string() + " is not there";
    }
    return {};
}

// A recorder's card holds no symbolic links, so one in the place of the settings file or its
// folder leads off the card: it is neither read nor written through.
std::string linkProblem(const std::filesystem::path& path) {
    std::error_code error;
    if (std::filesystem::is_symlink(std::filesystem::symlink_status(path, error))) {
        return path.string() +
               " is a symbolic link, which a recorder's card cannot hold; the settings are "
               "neither read nor written through it";
    }
    return {};
}

// The device a folder lies on, or nothing when it cannot be looked at.
std::optional<std::uint64_t> deviceOf(int folderFd) {
    struct stat info {};
    if (folderFd < 0 || ::fstat(folderFd, &info) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(info.st_dev);
}

}  // namespace

std::string RecorderSettingsFile::open(const std::filesystem::path& cardRoot) {
    m_root = cardRoot;
    m_path = cardRoot / kRecorderSettingsPath;
    m_existed = false;
    m_device.reset();
    // What is shown when nothing is read, and what a first save writes to a card without the
    // file.
    setDefaults();
    if (std::string problem = cardProblem(cardRoot); !problem.empty()) {
        return problem;
    }
    // Saving checks that the card folder still lies on this device: a card taken out leaves
    // its empty mount point, which lies on the PC's own disk.
    m_device = deviceOf(Fd(::open(cardRoot.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)).get());
    const std::filesystem::path folder = m_path.parent_path();
    for (const std::filesystem::path& place : {folder, m_path}) {
        if (std::string problem = linkProblem(place); !problem.empty()) {
            m_existed = true;
            return problem;
        }
    }
    std::error_code error;
    if (std::filesystem::exists(folder, error) && !std::filesystem::is_directory(folder, error)) {
        return folder.string() + " is not a folder, so the card cannot hold the settings file";
    }
    if (!std::filesystem::exists(std::filesystem::symlink_status(m_path, error))) {
        return {};  // a card the recorder has not written its file to yet
    }
    m_existed = true;
    // The recorder writes eighteen short lines; anything far larger is not its file, and
    // reading it whole would only hold the window up.
    constexpr std::size_t kLargestFile = 64 * 1024;
    if (m_store.load(m_path, kLargestFile)) {
        normalise();
        return {};
    }
    if (const std::uintmax_t size = std::filesystem::file_size(m_path, error);
        !error && size > kLargestFile) {
        return m_path.string() + " is too large to be the recorder's settings file (" +
               std::to_string(size) + " bytes)";
    }
    return "cannot read " + m_path.string();
}

void RecorderSettingsFile::setDefaults() {
    for (const RecorderSettingKey& key : kRecorderSettingKeys) {
        setInt(key.name, key.defaultValue);
    }
}

// Opening makes every group's choice once, as a click would: a group whose value is one of
// its choices keeps it, and the screen keys take the values of the screen choice shown.
void RecorderSettingsFile::normalise() {
    const int screen = shownScreenChoice();
    const auto [timeout, clock] =
        kScreenValues[static_cast<std::size_t>(screen - kScreenChoiceBase)];
    const std::int32_t storedClock = intOf(kScreenClock);
    if (storedClock == 0 || storedClock == 1) {
        setInt(kScreenOff, timeout);
        setInt(kScreenClock, clock);
    }
}

std::int32_t RecorderSettingsFile::intOf(std::string_view key) const {
    return m_store.getInt(key).value_or(0);
}

void RecorderSettingsFile::setInt(std::string_view key, std::int32_t value) {
    if (const auto index = m_store.find(key)) {
        m_store.setInt(*index, value);
    }
}

int RecorderSettingsFile::shownChoice(const ChoiceGroup& group) const {
    const std::int32_t v = intOf(group.key);
    if (v >= 0 && v < group.count) {
        return group.base + v;
    }
    return group.base + defaultOf(group.key);
}

int RecorderSettingsFile::shownScreenChoice() const {
    const std::int32_t clock = intOf(kScreenClock);
    if (clock != 0 && clock != 1) {
        // A switch value the recorder never writes: the default row, value kept.
        return screenChoiceOf(defaultOf(kScreenOff), defaultOf(kScreenClock));
    }
    return screenChoiceOf(intOf(kScreenOff), clock);
}

bool RecorderSettingsFile::isShown(int n) const {
    if (n >= kScreenChoiceBase && n < kScreenChoiceBase + kScreenChoiceCount) {
        return shownScreenChoice() == n;
    }
    const ChoiceGroup* group = groupOfChoice(n);
    return group != nullptr && shownChoice(*group) == n;
}

void RecorderSettingsFile::choose(int n) {
    if (n >= kScreenChoiceBase && n < kScreenChoiceBase + kScreenChoiceCount) {
        const auto [timeout, clock] =
            kScreenValues[static_cast<std::size_t>(n - kScreenChoiceBase)];
        setInt(kScreenOff, timeout);
        setInt(kScreenClock, clock);
        return;
    }
    if (const ChoiceGroup* group = groupOfChoice(n)) {
        setInt(group->key, n - group->base);
    }
}

int RecorderSettingsFile::shownTimeZone() const {
    const std::int32_t zone = intOf(kTimeZone);
    return zone >= 0 && zone < static_cast<std::int32_t>(kTimeZoneNames.size())
               ? zone
               : defaultOf(kTimeZone);
}

void RecorderSettingsFile::chooseTimeZone(int index) {
    if (index >= 0 && index < static_cast<int>(kTimeZoneNames.size())) {
        setInt(kTimeZone, index);
    }
}

std::optional<std::int32_t> RecorderSettingsFile::value(std::string_view key) const {
    return m_store.getInt(key);
}

std::string RecorderSettingsFile::set(std::string_view key, std::int32_t v) {
    const std::string name(key);
    const std::string text = std::to_string(v);
    if (key == kTimeZone) {
        if (v < 0 || v >= static_cast<std::int32_t>(kTimeZoneNames.size())) {
            return name + " must be a time zone from 0 to 47, not " + text;
        }
        chooseTimeZone(v);
        return {};
    }
    if (key == kScreenOff) {
        if (v != 30 && v != 180 && v != -1) {
            return name + " must be 30, 180 or -1, not " + text;
        }
        choose(screenChoiceOf(v, 0));
        return {};
    }
    if (key == kScreenClock) {
        if (v != 0 && v != 1) {
            return name + " must be 0 or 1, not " + text;
        }
        const std::int32_t timeout = intOf(kScreenOff);
        choose(v == 1 ? kScreenChoiceBase + 3
                      : screenChoiceOf(timeout == 180 || timeout == -1 ? timeout : 30, 0));
        return {};
    }
    if (key == kBoardVersion) {
        return name + " is the recorder's own and is not changed";
    }
    const ChoiceGroup* group = groupOfKey(key);
    if (group == nullptr) {
        return name + " is no setting of the recorder";
    }
    if (v < 0 || v >= group->count) {
        return name + " must be from 0 to " + std::to_string(group->count - 1) + ", not " + text;
    }
    choose(group->base + v);
    return {};
}

std::string RecorderSettingsFile::save() {
    if (m_path.empty()) {
        return "no settings file was opened";
    }
    if (std::string problem = cardProblem(m_root); !problem.empty()) {
        return problem;
    }
    const std::filesystem::path folder = m_path.parent_path();
    const Fd root(::open(m_root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (root.get() < 0) {
        return "cannot open the card folder " + m_root.string() + ": " + std::strerror(errno);
    }
    const std::string elsewhere =
        " is no longer on the card the settings were read from (was the card taken out?); "
        "nothing was written";
    if (deviceOf(root.get()) != m_device) {
        return "the card folder " + m_root.string() + elsewhere;
    }
    const std::string folderName = folder.filename().string();
    if (::mkdirat(root.get(), folderName.c_str(), 0777) != 0 && errno != EEXIST) {
        return "cannot create the folder " + folder.string() + ": " + std::strerror(errno);
    }
    // Opened without following a link, so that nothing checked below can be swapped for one.
    const Fd setup(
        ::openat(root.get(), folderName.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (setup.get() < 0) {
        const std::string link = linkProblem(folder);
        return link.empty() ? folder.string() + " is not a folder" : link;
    }
    if (deviceOf(setup.get()) != m_device) {
        return "the folder " + folder.string() + elsewhere;
    }
    if (std::string link = linkProblem(m_path); !link.empty()) {
        return link;
    }
    if (!m_store.writeInFolder(setup.get(), m_path.filename().string())) {
        return "cannot write " + m_path.string();
    }
    m_existed = true;
    return {};
}

}  // namespace qelv::core
