#include "gui/app/WindowState.h"

#include "core/collection/CollectionTree.h"
#include "core/platform/FileSystem.h"

#include "gui/collection/CollectionModel.h"

#include <QDir>
#include <QSettings>
#include <QTabWidget>
#include <QTreeView>

#include <cstdlib>
#include <set>

namespace cantorel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The entries a path names stay the same between runs, unlike node numbers.
QString keyOf(const CollectionTree& tree, NodeId node)
{
    const CollectionItem* record = tree.record(node);
    return record ? QString::fromStdString(record->Path.str()) : QString();
}

} // namespace

std::string WindowState::file()
{
    const std::string folder = fs::userFolder(fs::UserFolder::State);
    return folder.empty() ? std::string() : folder + "window.ini";
}

void WindowState::restore(const Parts& w, const std::string& file)
{
    QSettings state(qs(file), QSettings::IniFormat);
    if (!state.contains("geometry"))
        return;
    w.window.restoreGeometry(state.value("geometry").toByteArray());
    const int page = state.value("page", 0).toInt();
    if (page >= 0 && page < w.pages.count())
        w.pages.setCurrentIndex(page);
    expandFolders(w, state.value("expanded").toStringList());
}

QStringList WindowState::expandedFolders(const Parts& w)
{
    QStringList expanded;
    for (NodeId node : w.tree.Nodes) {
        if (w.view.isExpanded(w.model.indexOf(node)))
            expanded << keyOf(w.tree, node);
    }
    return expanded;
}

void WindowState::expandFolders(const Parts& w, const QStringList& paths)
{
    const std::set<QString> wanted(paths.begin(), paths.end());
    for (NodeId node : w.tree.Nodes) {
        if (wanted.contains(keyOf(w.tree, node)))
            w.view.setExpanded(w.model.indexOf(node), true);
    }
}

void WindowState::save(const Parts& w, const std::string& file)
{
    QSettings state(qs(file), QSettings::IniFormat);
    state.setValue("geometry", w.window.saveGeometry());
    state.setValue("page", w.pages.currentIndex());
    state.setValue("expanded", expandedFolders(w));
}

} // namespace cantorel
