#include "playback/decoder_choice.h"

#include <gst/gst.h>

#include <cstring>

#include "config/text_rules.h"
#include "playback/gst_runtime.h"

namespace qelv::media {

std::optional<DecoderPreference> decoderPreferenceOf(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    text = first == std::string_view::npos
               ? std::string_view()
               : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
    if (core::equalsNoCase(text, "auto")) {
        return DecoderPreference::Auto;
    }
    if (core::equalsNoCase(text, "software")) {
        return DecoderPreference::Software;
    }
    return std::nullopt;
}

namespace {

bool decodesH264(GstElementFactory* factory) {
    for (const GList* t = gst_element_factory_get_static_pad_templates(factory); t != nullptr;
         t = t->next) {
        const auto* pad = static_cast<const GstStaticPadTemplate*>(t->data);
        if (pad->direction != GST_PAD_SINK) {
            continue;
        }
        GstCaps* caps = gst_static_caps_get(const_cast<GstStaticCaps*>(&pad->static_caps));
        GstCaps* h264 = gst_caps_from_string("video/x-h264");
        const bool takes = gst_caps_can_intersect(caps, h264);
        gst_caps_unref(h264);
        gst_caps_unref(caps);
        if (takes) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<std::string> h264Decoders(DecoderPreference preference) {
    std::vector<std::string> names;
    if (preference == DecoderPreference::Auto) {
        ensureGstreamer();
        GList* factories = gst_element_factory_list_get_elements(
            GST_ELEMENT_FACTORY_TYPE_DECODER | GST_ELEMENT_FACTORY_TYPE_MEDIA_VIDEO,
            GST_RANK_MARGINAL);
        factories = g_list_sort(factories, gst_plugin_feature_rank_compare_func);
        for (GList* f = factories; f != nullptr; f = f->next) {
            auto* factory = static_cast<GstElementFactory*>(f->data);
            const char* klass =
                gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
            if (klass != nullptr && std::strstr(klass, "Hardware") != nullptr &&
                decodesH264(factory)) {
                names.emplace_back(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)));
            }
        }
        gst_plugin_feature_list_free(factories);
    }
    names.emplace_back(kSoftwareH264Decoder);
    return names;
}

}  // namespace qelv::media
