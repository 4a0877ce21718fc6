// The movie box (moov) the recorder writes when it closes a recording, built from the sample
// tables. The index rebuild and the recorder simulator both use it, so a rebuilt file gets
// exactly the box a cleanly closed one has.
#pragma once

#include <cstdint>
#include <vector>

#include "storage/mp4_format.h"
#include "storage/recording_types.h"
#include "storage/sample_tables.h"

namespace qelv::core {

// The camera decides the video timing (a front file's first frame lasts two frame times) and
// the resolution; a rear file's resolution follows its size class.
const mp4::VideoFormat& videoFormatFor(CameraChannel camera, int sizeClass);

// moov with three tracks: 1 video, 2 telemetry (handler "sdsm"), 3 sound (AAC).
std::vector<std::uint8_t> buildMovieBox(const SampleTables& tables, CameraChannel camera,
                                        const mp4::VideoFormat& video);

}  // namespace qelv::core
