// GStreamer for the process: initialised once, before the first element is made.
#pragma once

namespace qelv::media {
void ensureGstreamer();
}
