#include "cli/commands.h"
#include "common/data_files.h"

namespace qelv::cli {

std::filesystem::path programFolder() {
    return core::programFolder();
}

}  // namespace qelv::cli
