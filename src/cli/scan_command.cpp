#include <dirent.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <sstream>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "cli/options.h"
#include "common/data_files.h"
#include "config/config_store.h"
#include "platform/drive_discovery.h"
#include "storage/recording_listing.h"
#include "storage/recording_scanner.h"

namespace qelv::cli {

namespace {

constexpr const char* kScanUsage =
    "usage: qelv scan (--drive ROOT | --folder DIR | --wyfs DEVICE_OR_IMAGE)\n"
    "                 [--filter all|normal|event|parking|user] [--sort asc|desc]\n"
    "                 [--config FILE] [--no-repair]\n"
    "Lists the recordings of a card or folder, one JSON line per row. The all-categories\n"
    "listing first writes the missing index of unfinished recordings; --no-repair only looks.\n";

constexpr const char* kDrivesUsage =
    "usage: qelv drives [--sysfs DIR] [--mountinfo FILE] [--swaps FILE] [--dev DIR]\n"
    "                   [--media DIR[:DIR...]] [--config FILE]\n"
    "Lists the card drives and the folder line, one JSON line each. A disk the system uses\n"
    "(mounted outside the removable-media folders, swap, the image of a loop device, under\n"
    "LVM or RAID) or an eMMC is never listed. --sysfs is the sysfs root (/sys), --dev the\n"
    "device folder (/dev), --media the removable-media folders (/media:/run/media:/mnt).\n";

core::ListFilter filterOf(const std::string& name) {
    static const std::pair<const char*, core::ListFilter> kFilters[] = {
        {"all", core::ListFilter::All},
        {"normal", core::ListFilter::Normal},
        {"event", core::ListFilter::Event},
        {"parking", core::ListFilter::Parking},
        {"user", core::ListFilter::User}};
    for (const auto& [text, filter] : kFilters) {
        if (name == text) {
            return filter;
        }
    }
    throw UsageError("--filter is all, normal, event, parking or user");
}

// The viewer's configuration: the given file or the one beside the program. Its diagnostic
// lines go to `err`.
core::ConfigStore loadConfig(const ParsedOptions& o, std::ostream& err) {
    core::ConfigStore config;
    if (const auto given = o.value("--config")) {
        config.load(*given, err);
    } else {
        config.loadViewerConfiguration(core::configurationFile(), err, err);
    }
    return config;
}

// Why the folder at `path` cannot be listed, or nothing when it can. A card's root and a folder
// on the PC are both folders; anything else is named as the failure it is rather than listed as
// an empty card.
std::optional<std::string> unlistableFolder(const std::string& path) {
    DIR* folder = ::opendir(path.c_str());
    if (folder == nullptr) {
        return std::strerror(errno);
    }
    ::closedir(folder);
    return std::nullopt;
}

}  // namespace

int runScanCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions o;
    core::ListFilter filter = core::ListFilter::All;
    core::SourceDrive drive;
    try {
        o = parseOptions(args, {"--drive", "--folder", "--wyfs", "--filter", "--sort", "--config"},
                         {"--no-repair"});
        if (o.help) {
            out << kScanUsage;
            return 0;
        }
        const int sources = (o.value("--drive") ? 1 : 0) + (o.value("--folder") ? 1 : 0) +
                            (o.value("--wyfs") ? 1 : 0);
        if (sources != 1 || !o.positional.empty()) {
            throw UsageError("give exactly one of --drive, --folder and --wyfs");
        }
        filter = filterOf(o.value("--filter").value_or("all"));
        const std::string sort = o.value("--sort").value_or("asc");
        if (sort != "asc" && sort != "desc") {
            throw UsageError("--sort is asc or desc");
        }
        if (const auto root = o.value("--drive")) {
            drive = {0, *root, "", core::SourceKind::FatDrive};
        } else if (const auto image = o.value("--wyfs")) {
            drive = {0, *image + " (WYFS)", *image, core::SourceKind::WyfsDrive};
        } else {
            drive = {0, "folder", "", core::SourceKind::PcFolder};
        }
    } catch (const UsageError& e) {
        err << "qelv scan: " << e.what() << '\n' << kScanUsage;
        return 2;
    }
    for (const auto& [option, what] : {std::pair{"--drive", "drive"}, {"--folder", "folder"}}) {
        const auto path = o.value(option);
        if (const auto why = path ? unlistableFolder(*path) : std::nullopt) {
            err << "qelv scan: cannot read the " << what << ' ' << *path << ": " << *why << '\n';
            return 1;
        }
    }

    const core::ConfigStore config = loadConfig(o, err);
    core::RecordingCatalogue catalogue;
    catalogue.applyConfiguration(config);
    catalogue.setSortMode(o.value("--sort").value_or("asc") == "desc" ? core::SortMode::Descending
                                                                      : core::SortMode::Ascending);
    catalogue.setDrives({drive});
    const auto folder = o.value("--folder");
    const bool selected = core::selectSource(
        catalogue, 0, [&](const std::string&) { return folder; }, err);
    if (!selected) {
        err << "qelv scan: no recordings could be read from the source\n";
        return 1;
    }
    core::ListOptions listOptions;
    listOptions.repair = !o.flags.contains("--no-repair");
    const std::vector<core::ListRow> rows = core::listRecordings(catalogue, filter, listOptions);
    std::string lines;
    lines.reserve(rows.size() * 256);
    for (const core::ListRow& row : rows) {
        const core::RecordingEntry& entry = catalogue.entries()[row.entry];
        lines += JsonObject()
                     .add("row", row.number)
                     .add("date", row.date)
                     .add("time", row.time)
                     .add("type", row.type)
                     .add("fileName", entry.fileName)
                     .add("path", entry.path)
                     .add("sizeKB", static_cast<std::int64_t>(entry.sizeKB))
                     .add("creationTime", static_cast<std::int64_t>(entry.creationTime))
                     .str();
        lines += '\n';
    }
    out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
    return 0;
}

int runDrivesCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    ParsedOptions o;
    try {
        o = parseOptions(args,
                         {"--sysfs", "--mountinfo", "--swaps", "--dev", "--media", "--config"});
        if (o.help) {
            out << kDrivesUsage;
            return 0;
        }
        if (!o.positional.empty()) {
            throw UsageError("no arguments besides the options");
        }
    } catch (const UsageError& e) {
        err << "qelv drives: " << e.what() << '\n' << kDrivesUsage;
        return 2;
    }
    platform::SystemPaths paths;
    paths.sysfs = o.value("--sysfs").value_or(paths.sysfs.string());
    paths.mountInfo = o.value("--mountinfo").value_or(paths.mountInfo.string());
    // Device names are looked up below this folder by prefix: a relative one would match none.
    paths.devices = std::filesystem::absolute(o.value("--dev").value_or(paths.devices.string()));
    paths.swaps = o.value("--swaps").value_or(paths.swaps.string());
    if (const auto media = o.value("--media")) {
        paths.removableMedia = platform::folderList(*media);
    }
    core::RecordingCatalogue catalogue;
    catalogue.applyConfiguration(loadConfig(o, err));
    for (const core::SourceDrive& drive :
         platform::discoverDrives(paths, catalogue.folderSearchText())) {
        out << JsonObject()
                   .add("label", drive.label)
                   .add("devicePath", drive.devicePath)
                   .add("kind", static_cast<std::int32_t>(drive.kind))
                   .str()
            << '\n';
    }
    if (!platform::DiskUse::read(paths).known()) {
        err << "qelv drives: no card is listed: the mount table (" << paths.mountInfo.string()
            << ") or the swap list (" << paths.swaps.string()
            << ") cannot be read, so the disks the system uses are unknown\n";
        return 1;
    }
    return 0;
}

}  // namespace qelv::cli
