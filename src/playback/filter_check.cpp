#include "playback/filter_check.h"

#include <gst/gst.h>

#include <initializer_list>

#include "playback/gst_runtime.h"

namespace qelv::media {

namespace {

bool available(std::initializer_list<const char*> factories) {
    for (const char* name : factories) {
        GstElementFactory* factory = gst_element_factory_find(name);
        if (factory == nullptr) {
            return false;
        }
        gst_object_unref(factory);
    }
    return true;
}

}  // namespace

std::int32_t checkFilters() {
    ensureGstreamer();
    if (!available({"qtdemux", "avidemux", "appsrc", "filesrc"})) {
        return -1;
    }
    if (!available({"h264parse", "avdec_h264"})) {
        return -2;
    }
    if (!available({"avdec_aac"})) {
        return -3;
    }
    if (!available({"videobalance", "videoflip", "videoconvert", "appsink"})) {
        return -4;
    }
    return 1;
}

bool ensureFilters() {
    // Nothing to register on this platform: the elements come from GStreamer's plugins, and
    // two passes of the check (as the viewer always did) change nothing between them.
    return checkFilters() == 1 && available({"scaletempo", "volume", "audioconvert", "fakesink"});
}

void extendWhitelists(SettingsStore& settings) {
    for (std::string_view key : kWhitelistKeys) {
        std::string list = settings.read(key).value_or("");
        if (list.find(kWhitelistProgram) == std::string::npos) {
            list += ";";
            list += kWhitelistProgram;
            settings.write(key, list);
        }
    }
}

}  // namespace qelv::media
