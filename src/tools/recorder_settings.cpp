#include "tools/recorder_settings.h"

namespace qelv::core {

void registerRecorderSettings(IniStore& store) {
    for (const RecorderSettingKey& key : kRecorderSettingKeys) {
        store.registerKey(key.name, key.defaultValue, key.upper);
    }
}

}  // namespace qelv::core
