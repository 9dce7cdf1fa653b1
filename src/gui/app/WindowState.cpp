#include "gui/app/WindowState.h"

#include "core/session/Session.h"

#include "gui/app/TMainForm.h"
#include "gui/collection/CollectionModel.h"
#include "gui/info/InfoPages.h"

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
    const CollectionItem* record = window.session().tree().record(node);
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
    if (page >= 0 && page < window.pages()->count())
        window.pages()->setCurrentIndex(page);
    const QStringList expanded = state.value("expanded").toStringList();
    const std::set<QString> wanted(expanded.begin(), expanded.end());
    for (NodeId node : window.session().tree().Nodes) {
        if (wanted.contains(keyOf(window, node)))
            window.treeView()->setExpanded(window.model()->indexOf(node), true);
    }
}

void WindowState::save(const TMainForm& window, const std::string& file)
{
    QSettings state(qs(file), QSettings::IniFormat);
    state.setValue("geometry", window.saveGeometry());
    state.setValue("page", window.pages()->currentIndex());
    QStringList expanded;
    for (NodeId node : window.session().tree().Nodes) {
        if (window.treeView()->isExpanded(window.model()->indexOf(node)))
            expanded << keyOf(window, node);
    }
    state.setValue("expanded", expanded);
}

} // namespace cantorel
