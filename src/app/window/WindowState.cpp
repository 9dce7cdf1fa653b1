#include "app/window/WindowState.h"

#include "app/window/TMainForm.h"
#include "collection/window/CollectionModel.h"
#include "info/window/InfoPages.h"

#include <QDir>
#include <QSettings>
#include <QTreeView>
#include <cstdlib>
#include <set>

namespace cantorel {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The entries a path names stay the same between runs, unlike node numbers.
QString keyOf(const TMainForm& window, NodeId node)
{
    const CollectionItem* record = window.Tree.record(node);
    return record ? QString::fromUtf8(record->Path.data(), static_cast<qsizetype>(record->Path.size())) : QString();
}

} // namespace

std::string WindowState::file()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    const std::string base =
        state && state[0] == '/' ? std::string(state) : QDir::homePath().toStdString() + "/.local/state";
    return base + "/cantorel/window.ini";
}

void WindowState::restore(TMainForm& window, const std::string& file)
{
    QSettings state(qs(file), QSettings::IniFormat);
    if (!state.contains("geometry"))
        return;
    window.restoreGeometry(state.value("geometry").toByteArray());
    const int page = state.value("page", 0).toInt();
    if (page >= 0 && page < window.Pages->count())
        window.Pages->setCurrentIndex(page);
    const QStringList expanded = state.value("expanded").toStringList();
    const std::set<QString> wanted(expanded.begin(), expanded.end());
    for (NodeId node : window.Tree.Nodes) {
        if (wanted.contains(keyOf(window, node)))
            window.TreeView->setExpanded(window.Model->indexOf(node), true);
    }
}

void WindowState::save(const TMainForm& window, const std::string& file)
{
    QSettings state(qs(file), QSettings::IniFormat);
    state.setValue("geometry", window.saveGeometry());
    state.setValue("page", window.Pages->currentIndex());
    QStringList expanded;
    for (NodeId node : window.Tree.Nodes) {
        if (window.TreeView->isExpanded(window.Model->indexOf(node)))
            expanded << keyOf(window, node);
    }
    state.setValue("expanded", expanded);
}

} // namespace cantorel
