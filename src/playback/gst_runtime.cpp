#include "playback/gst_runtime.h"

#include <gst/gst.h>

#include <mutex>

namespace qelv::media {

void ensureGstreamer() {
    static std::once_flag once;
    std::call_once(once, [] { gst_init(nullptr, nullptr); });
}

}  // namespace qelv::media
