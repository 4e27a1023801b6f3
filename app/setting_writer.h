// Writes a user's choice to the settings store the moment it changes, and tells the user
// once per run when the store refuses it, so a lost preference is never silent.
#pragma once

#include "platform/message_box.h"
#include "platform/settings_store.h"

#include <QString>

namespace app {

/// Shown once per run when a setting cannot be written.
inline const QString kSettingNotSavedText = QStringLiteral(
    "This choice could not be saved in the settings. It stays in effect until the program is "
    "closed.");

class SettingWriter {
public:
    SettingWriter(platform::SettingsStore& store, platform::MessageBox& messageBox)
        : m_store(store), m_messageBox(messageBox) {}

    /// Stores value under key; returns false (after the one warning of this run) on failure.
    bool write(const QString& key, const QString& value);

private:
    platform::SettingsStore& m_store;
    platform::MessageBox& m_messageBox;
    bool m_warned = false;
};

} // namespace app
