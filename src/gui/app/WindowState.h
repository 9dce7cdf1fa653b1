#pragma once

#include <QStringList>

#include <string>

class QTabWidget;
class QTreeView;
class QWidget;

namespace cantorel {

class CollectionModel;
class CollectionTree;

// What the main window looks like between runs: size, position, maximized, the page in
// front and the expanded directories, kept in $XDG_STATE_HOME/cantorel/window.ini
// (~/.local/state by default), never in the user's configuration.
class WindowState {
public:
    // What is kept of a window: its own geometry, its pages, and its tree view with the
    // tree it shows.
    struct Parts {
        QWidget& window;
        QTabWidget& pages;
        QTreeView& view;
        const CollectionModel& model;
        const CollectionTree& tree;
    };

    // The state file of this user.
    static std::string file();
    // Applies a saved state to a window whose tree is built; nothing without one (the
    // window keeps its first-run layout).
    static void restore(const Parts& window, const std::string& file);
    static void save(const Parts& window, const std::string& file);
    // The folders expanded in the view, by their paths (the same in every build of a tree).
    static QStringList expandedFolders(const Parts& window);
    // Expands the folders of `paths` that the tree holds.
    static void expandFolders(const Parts& window, const QStringList& paths);
};

} // namespace cantorel
