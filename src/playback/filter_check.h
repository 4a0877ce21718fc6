// Whether the media elements the playback graph is built from are installed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qelv::media {

// 1 when everything is there; -1 the container parsers (qtdemux, avidemux) are missing, -2
// the H.264 decoder or the rest of the video chain, -3 the AAC decoder, -4 the
// picture-settings elements (videobalance, videoflip).
std::int32_t checkFilters();

// The sound chain's elements that cannot be made; empty when recordings play with sound.
std::vector<std::string> missingSoundElements();

// True when recordings can be played: the parsers and the video chain can be made (the
// viewer shows "Not Find QV filter" otherwise). A missing sound chain is said once on
// standard error and recordings play silently. Nothing is registered and no list of programs
// allowed to use a decoder is kept: GStreamer's elements serve every program that loads them
// and read no such list, so the viewer writes none into the user's settings.
bool ensureFilters();

}  // namespace qelv::media
