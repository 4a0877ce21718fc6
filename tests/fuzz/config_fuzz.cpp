// Any bytes as a configuration file: the loader refuses or applies them, never crashes.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "config/config_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qelv::core::ConfigStore store;
    std::ostringstream diag;
    store.loadFromText(std::string_view(reinterpret_cast<const char*>(data), size), diag);
    for (std::int64_t i = -1; i <= static_cast<std::int64_t>(store.folders().size()); ++i) {
        (void)store.folderAt(i);
    }
    (void)store.localizedString("MAIN_MSG_NO_FILES");
    return 0;
}
