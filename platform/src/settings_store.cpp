// readSetting and writeSetting over any settings store.
#include "platform/settings_store.h"

namespace platform {

QString readSetting(SettingsStore& store, const QString& key, const QString& defaultValue) {
    return store.read(key).value_or(defaultValue);
}

bool writeSetting(SettingsStore& store, const QString& key, const QString& value) {
    return store.write(key, value);
}

} // namespace platform
