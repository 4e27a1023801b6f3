// ReadSetting and WriteSetting over any settings store.
#include "platform/settings_store.h"

namespace platform {

QString ReadSetting(SettingsStore& store, const QString& key, const QString& defaultValue) {
    return store.read(key).value_or(defaultValue);
}

bool WriteSetting(SettingsStore& store, const QString& key, const QString& value) {
    return store.write(key, value);
}

} // namespace platform
