#pragma once

#include "core/config/Configuration.h"
#include "core/session/Session.h"

#include "gui/app/TMainForm.h"
#include "gui/common/ErrorBox.h"

#include <memory>
#include <string>

namespace cantorel::test {

// The session a test window runs on (with a journal of saves in `journalFile`, none when
// empty); a base of its own, so that it is made before the window and outlives it.
struct SessionOfWindow {
    SessionOfWindow(const Configuration& configuration, const std::string& libraryDirectory,
                    const std::string& journalFile)
        : ownSession(configuration, SessionOptions{"", true, libraryDirectory, journalFile})
    {
    }
    Session ownSession;
};

// A main window with a session of its own, as the program makes them. The decoder
// library comes from `libraryDirectory` (the program's own when empty).
class TestWindow : private SessionOfWindow, public TMainForm {
public:
    TestWindow(const Configuration& configuration, std::shared_ptr<ErrorBox> errorBox,
               const std::string& libraryDirectory = {}, std::unique_ptr<TrayShell> trayShell = {},
               const std::string& journalFile = {})
        : SessionOfWindow(configuration, libraryDirectory, journalFile),
          TMainForm(ownSession, std::move(errorBox), std::move(trayShell))
    {
    }
};

} // namespace cantorel::test
