// Every platform service a handler may use, passed by reference from main.cpp (real Qt
// implementations) or from a test (scripted fakes). No singletons.
#pragma once

#include "platform/clock.h"
#include "platform/event_pump.h"
#include "platform/file_dialogs.h"
#include "platform/folder_browser.h"
#include "platform/input_box.h"
#include "platform/message_box.h"
#include "platform/random_draw.h"
#include "platform/settings_store.h"
#include "platform/url_opener.h"

namespace platform {

struct Services {
    MessageBox& messageBox;
    InputBox& inputBox;
    FileDialogs& fileDialogs;
    FolderBrowser& folderBrowser;
    UrlOpener& urlOpener;
    SettingsStore& settings;
    Clock& clock;
    EventPump& events;
    RandomDraw& random;
};

} // namespace platform
