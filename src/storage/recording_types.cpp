#include "storage/recording_types.h"

namespace qelv::core {

std::string_view typeTextOf(std::optional<RecordingCategory> category) {
    if (!category) {
        return "NONE";
    }
    switch (*category) {
        case RecordingCategory::Normal:
            return "NOR";
        case RecordingCategory::Event:
            return "EVT";
        case RecordingCategory::Parking:
            return "MOT";
        case RecordingCategory::User:
            return "USR";
    }
    return "NONE";
}

std::string_view filterLabelOf(RecordingCategory category) {
    switch (category) {
        case RecordingCategory::Normal:
            return "NORMAL";
        case RecordingCategory::Event:
            return "EVENT";
        case RecordingCategory::Parking:
            return "PARKING";
        case RecordingCategory::User:
            return "USER";
    }
    return "NORMAL";
}

}  // namespace qelv::core
