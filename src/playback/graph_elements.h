// Making and discarding the graph's elements.
#pragma once

#include <gst/gst.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace qelv::media {

inline GstElement* makeElement(const char* factory, std::string_view name = {}) {
    return gst_element_factory_make(factory, name.empty() ? nullptr : std::string(name).c_str());
}

// Elements made but never added to a bin are still floating.
inline void discard(std::initializer_list<GstElement*> elements) {
    for (GstElement* e : elements) {
        if (e != nullptr) {
            gst_object_unref(gst_object_ref_sink(e));
        }
    }
}

}  // namespace qelv::media
