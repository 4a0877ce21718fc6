#include "playback/filter_check.h"

#include <gst/gst.h>

#include <atomic>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

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
    if (!available({"queue", "h264parse", "avdec_h264", "videoconvert", "capsfilter", "appsink"})) {
        return -2;
    }
    if (!available({"avdec_aac"})) {
        return -3;
    }
    if (!available({"videobalance", "videoflip"})) {
        return -4;
    }
    return 1;
}

std::vector<std::string> missingSoundElements() {
    ensureGstreamer();
    std::vector<std::string> missing;
    for (const char* name : {"aacparse", "avdec_aac", "audioconvert", "scaletempo", "volume",
                             "audioresample", "fakesink"}) {
        if (!available({name})) {
            missing.emplace_back(name);
        }
    }
    return missing;
}

bool ensureFilters() {
    // Nothing to register on this platform: the elements come from GStreamer's plugins. Only
    // the parsers and the video chain are needed to play; without the picture settings the
    // pictures stay unadjusted, without the sound chain recordings play silently.
    const std::int32_t check = checkFilters();
    if (check == -1 || check == -2) {
        return false;
    }
    static std::atomic<bool> told{false};
    const std::vector<std::string> silent = missingSoundElements();
    if (!silent.empty() && !told.exchange(true)) {
        std::string names;
        for (const std::string& name : silent) {
            names += (names.empty() ? "" : ", ") + name;
        }
        std::fprintf(stderr,
                     "QELV Viewer: recordings play without sound (missing GStreamer "
                     "elements: %s)\n",
                     names.c_str());
    }
    return true;
}

}  // namespace qelv::media
