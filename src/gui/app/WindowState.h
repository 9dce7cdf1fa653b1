#pragma once

#include <string>

namespace cantorel {

class TMainForm;

// What the main window looks like between runs: size, position, maximized, the page in
// front and the expanded directories, kept in $XDG_STATE_HOME/cantorel/window.ini
// (~/.local/state by default), never in the user's configuration.
class WindowState {
public:
    // The state file of this user.
    static std::string file();
    // Applies a saved state to a window whose tree is built; nothing without one (the
    // window keeps its first-run layout).
    static void restore(TMainForm& window, const std::string& file);
    static void save(const TMainForm& window, const std::string& file);
};

} // namespace cantorel
