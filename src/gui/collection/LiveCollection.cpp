#include "gui/collection/LiveCollection.h"

#include "core/collection/CollectionTree.h"
#include "core/collection/OfflineFolders.h"
#include "core/platform/HeapArenas.h"
#include "core/platform/Paths.h"
#include "core/session/Session.h"

#include <QDateTime>
#include <QSocketNotifier>

#include <algorithm>

namespace cantorel {

namespace {

constexpr int PollMs = 100;
constexpr int RetryMs = 1000;

// The folders of the tree that a change may touch: the root and every folder node.
std::vector<std::string> foldersOf(const Session& session)
{
    const CollectionTree& tree = session.tree();
    std::vector<std::string> folders{paths::withoutTrailingSlash(session.musicFolder())};
    for (const NodeId n : tree.Nodes) {
        if (tree.isFolder(n) && n != tree.RootNode)
            folders.push_back(tree.record(n)->Path.str());
    }
    return folders;
}

} // namespace

LiveCollection::LiveCollection(Session& session, Hooks hooks, QObject* parent, std::size_t watchLimit)
    : QObject(parent), session_(session), hooks_(std::move(hooks)), watcher_(watchLimit)
{
    quiet_.setSingleShot(true);
    connect(&quiet_, &QTimer::timeout, this, [this] {
        firstEventAt_ = -1;
        scanChanges();
    });
    poll_.setInterval(PollMs);
    connect(&poll_, &QTimer::timeout, this, &LiveCollection::poll);
    connect(&sweep_, &QTimer::timeout, this, &LiveCollection::scan);
    offline_.setInterval(OfflineCheckMs);
    connect(&offline_, &QTimer::timeout, this, [this] {
        if (anyFolderBack(offlineFolders(session_.tree(), session_.musicFolder())))
            scan();
    });
    if (watcher_.fd() >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(watcher_.fd(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &LiveCollection::eventsReady);
    }
}

LiveCollection::~LiveCollection() { session_.cancelScan(); }

bool LiveCollection::scanning() const { return poll_.isActive(); }

void LiveCollection::scan()
{
    whole_ = true;
    scanChanges();
}

void LiveCollection::scanChanges()
{
    if (scanning()) {
        again_ = true;
        return;
    }
    startScan();
}

void LiveCollection::startScan()
{
    again_ = false;
    // The end of the reading is told at once (from its thread); the poll shows progress.
    const auto ended = [this] {
        QMetaObject::invokeMethod(
            this, [this] { poll(); }, Qt::QueuedConnection);
    };
    const std::vector<std::string> changed = whole_ ? std::vector<std::string>() : std::move(changed_);
    whole_ = false;
    changed_.clear();
    if (!session_.startScan(ended, changed))
        return;
    poll_.start();
    poll();
}

void LiveCollection::poll()
{
    if (!poll_.isActive())
        return; // already taken
    if (session_.scanRunning()) {
        const auto [done, all] = session_.scanProgress();
        if (hooks_.progress)
            hooks_.progress(all > 0 ? QString::number(done) + " / " + QString::number(all) : QStringLiteral("..."));
        return;
    }
    if (!hooks_.apply()) {
        poll_.start(RetryMs); // the user is typing: later
        return;
    }
    poll_.stop();
    poll_.setInterval(PollMs);
    if (hooks_.progress)
        hooks_.progress({});
    watchTree();
    // The reading's second tree, its digests and the list of folders just watched are
    // free now, mostly between what stays: their pages go back before the search index
    // (built when the window is idle next) takes more.
    heap::releaseFree();
    if (again_)
        startScan();
}

void LiveCollection::watchTree()
{
    watcher_.watch(foldersOf(session_));
    if (watcher_.limitReached() && !std::exchange(limitNoticed_, true) && hooks_.notice)
        hooks_.notice(QString::fromStdString(session_.configuration().GetUIString(UiString::WatchLimit)));
    if (session_.tree().offlineNodes().empty())
        offline_.stop();
    else if (!offline_.isActive())
        offline_.start();
    const int minutes = session_.settings().SweepMinutes;
    if (watcher_.needsSweep() && minutes > 0) {
        if (!sweep_.isActive())
            sweep_.start(minutes * 60 * 1000);
    } else {
        sweep_.stop();
    }
}

void LiveCollection::eventsReady()
{
    if (!watcher_.takeEvents())
        return;
    std::vector<std::string> folders = watcher_.takeChangedFolders();
    if (folders.empty())
        whole_ = true; // events were lost
    changed_.insert(changed_.end(), std::make_move_iterator(folders.begin()), std::make_move_iterator(folders.end()));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (firstEventAt_ < 0)
        firstEventAt_ = now;
    // A burst (an album copied) is one change: wait for a quiet moment, but not for ever.
    quiet_.start(static_cast<int>(std::max<qint64>(0, std::min<qint64>(QuietMs, firstEventAt_ + LongestWaitMs - now))));
}

} // namespace cantorel
