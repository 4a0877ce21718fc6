#include "storage/size_class.h"

namespace qelv::core {

int sizeClassOf(RecordingCategory category, std::uint64_t sizeKB) {
    const std::uint64_t sizeMB = sizeKB / 1024;
    // Event, parking and user recordings are cut at half the normal sizes.
    const std::uint64_t unit = category == RecordingCategory::Normal ? 2 : 1;
    if (sizeMB < 15 * unit) {
        return 2;
    }
    if (sizeMB < 25 * unit) {
        return 1;
    }
    if (sizeMB < 30 * unit) {
        return 0;
    }
    return 3;
}

}  // namespace qelv::core
