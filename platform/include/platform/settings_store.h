// The per-user settings store: one text value per key, under application "Quillmark" and
// section "Varnocliff". readSetting and writeSetting are the only way the program uses it.
#pragma once

#include <QString>
#include <optional>

namespace platform {

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    /// The stored text, or nothing when the key is absent (absent and empty differ).
    virtual std::optional<QString> read(const QString& key) = 0;
    /// Stores the text; it is on disk when the call returns. False when it could not be written.
    virtual bool write(const QString& key, const QString& value) = 0;
};

/// The stored value of key, or defaultValue when the key is absent.
QString readSetting(SettingsStore& store, const QString& key, const QString& defaultValue);
/// Stores value under key at once.
bool writeSetting(SettingsStore& store, const QString& key, const QString& value);

} // namespace platform
