// Any bytes as the recorder's settings file, line by line.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "config/ini_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostringstream diag;
    qelv::core::IniStore store(diag);
    for (const char* key : {"Resolution", "Volume", "TimeZone", "GSensor"}) {
        store.registerKey(key, 1, 9);
    }
    std::string_view text(reinterpret_cast<const char*>(data), size);
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        store.parseLine(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    for (const auto& item : store.items()) {
        if (item.loadedValue.empty() || item.name.empty()) {
            __builtin_trap();  // a registered item always has a name and a loaded value
        }
        (void)store.getInt(item.name);
    }
    return 0;
}
