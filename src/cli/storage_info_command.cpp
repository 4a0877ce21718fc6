#include "cli/commands.h"
#include "cli/json_writer.h"
#include "tools/storage_estimate.h"
#include "wyfs/wyfs.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv storage-info ROOT\n"
    "Prints the storage figures of the recorder card mounted at ROOT (or of the WyFS card or\n"
    "image ROOT) as JSON: its capacity and, per category, the recorder's budget and the use\n"
    "its recordings are estimated at.\n"
    "Exit status: 0 with the figures, 1 when ROOT is no card or a category folder could not\n"
    "be read (the figures are still printed, without that folder's recordings; standard\n"
    "error names it), 2 for a usage error.\n";

}  // namespace

int runStorageInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || args[0] == "--help" || args[0] == "-h") {
        (args.size() == 1 ? out : err) << kUsage;
        return args.size() == 1 ? 0 : 2;
    }
    const std::string& root = args[0];
    std::error_code error;
    const bool folder = std::filesystem::is_directory(root, error);
    const core::StorageCard card{root, !folder && QV_WyFS_Check_WyFS_partition(root.c_str()) != 0};
    const std::optional<core::StorageFigures> read =
        folder || card.wyfs ? core::cardStorageFigures(card) : std::nullopt;
    if (!read) {
        err << "qelv storage-info: " << root
            << " is neither a mounted card folder nor a readable WyFS card\n";
        return 1;
    }
    const core::StorageFigures& figures = *read;
    std::vector<std::string> categories;
    for (std::size_t i = 0; i < figures.categories.size(); ++i) {
        const core::CategoryUsage& usage = figures.categories[i];
        categories.push_back(JsonObject()
                                 .add("name", core::kStorageCategories[i].name)
                                 .add("folder", core::kStorageCategories[i].prefix)
                                 .add("budgetMB", usage.budgetMb)
                                 .add("usedMB", usage.usedMb)
                                 .add("frontFiles", usage.frontFiles)
                                 .add("rearFiles", usage.rearFiles)
                                 .add("total", usage.totalText)
                                 .add("used", usage.percentText)
                                 .str());
    }
    std::vector<std::string> unreadable;
    for (const std::string& unread : figures.unreadableFolders) {
        err << "qelv storage-info: cannot read " << unread << "; its recordings are not counted\n";
        unreadable.push_back(jsonQuote(unread));
    }
    std::string label = root;
    if (folder && (label.empty() || label.back() != '/')) {
        label += '/';
    }
    out << JsonObject()
               .add("root", root)
               .add("wyfs", card.wyfs)
               .add("capacityMB", figures.totalMb)
               .add("capacity", core::capacityText(label, figures.totalMb))
               .addRaw("categories", jsonArray(categories))
               .addRaw("unreadable", jsonArray(unreadable))
               .str()
        << '\n';
    return unreadable.empty() ? 0 : 1;
}

}  // namespace qelv::cli
