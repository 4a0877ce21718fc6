#include <sys/statvfs.h>

#include "cli/commands.h"
#include "cli/json_writer.h"
#include "tools/storage_estimate.h"

namespace qelv::cli {

namespace {

constexpr const char* kUsage =
    "usage: qelv storage-info ROOT\n"
    "Prints the storage figures of the recorder card mounted at ROOT as JSON: its capacity\n"
    "and, per category, the recorder's budget and the use its recordings are estimated at.\n";

}  // namespace

int runStorageInfoCommand(const Arguments& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || args[0] == "--help" || args[0] == "-h") {
        (args.size() == 1 ? out : err) << kUsage;
        return args.size() == 1 ? 0 : 2;
    }
    const std::string& root = args[0];
    std::error_code error;
    struct statvfs info {};
    if (!std::filesystem::is_directory(root, error) || ::statvfs(root.c_str(), &info) != 0) {
        err << "qelv storage-info: " << root << " is not a mounted card folder\n";
        return 1;
    }
    const auto totalMb = static_cast<std::int64_t>(static_cast<unsigned long long>(info.f_blocks) *
                                                   info.f_frsize / (1024 * 1024));
    const core::StorageFigures figures =
        core::estimateStorage(totalMb, core::mountedCardLister(root));
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
    std::string label = root;
    if (label.empty() || label.back() != '/') {
        label += '/';
    }
    out << JsonObject()
               .add("root", root)
               .add("capacityMB", figures.totalMb)
               .add("capacity", core::capacityText(label, figures.totalMb))
               .addRaw("categories", jsonArray(categories))
               .str()
        << '\n';
    return 0;
}

}  // namespace qelv::cli
