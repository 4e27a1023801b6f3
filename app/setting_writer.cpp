// SettingWriter.
#include "setting_writer.h"

namespace app {

bool SettingWriter::write(const QString& key, const QString& value) {
    if (platform::writeSetting(m_store, key, value)) {
        return true;
    }
    if (!m_warned) {
        m_warned = true;
        m_messageBox.show(kSettingNotSavedText, platform::kApplicationTitle, platform::Buttons::Ok,
                          platform::Icon::Warning);
    }
    return false;
}

} // namespace app
