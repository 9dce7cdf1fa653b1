#pragma once

#include "core/platform/FolderWatcher.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace cantorel {

class Session;

// Keeps the window's tree in step with the disk: reads the collection behind the window
// (at start and whenever something changed), watches its folders, and checks the parts
// watching cannot see every few minutes. What a reading found is handed to `apply`;
// the view keeps its state around it.
class LiveCollection : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        // Puts the finished reading in place; false when it must wait (the user is typing),
        // and it is tried again a moment later.
        std::function<bool()> apply;
        // "n of m" while a reading runs, "" when it ended.
        std::function<void(const QString& progress)> progress;
        // A notice shown once (the watch limit).
        std::function<void(const QString& text)> notice;
    };
    // `watchLimit`: at most so many folders watched, besides the system's limit.
    LiveCollection(Session& session, Hooks hooks, QObject* parent = nullptr, std::size_t watchLimit = SIZE_MAX);
    ~LiveCollection() override;

    // Reads the whole collection behind the window now (or once the reading under way
    // ended).
    void scan();
    // Watches the folders of the tree as it is now, and checks the unwatched parts every
    // `SweepMinutes`.
    void watchTree();
    bool scanning() const;
    const FolderWatcher& watcher() const { return watcher_; }

    // Events that come close together are taken as one change, at most this long after
    // the first of them.
    static constexpr int QuietMs = 300;
    static constexpr int LongestWaitMs = 1000;
    // How often offline folders are looked at.
    static constexpr int OfflineCheckMs = 15000;

signals:
    // A reading was put in place (changed or not).
    void scanApplied(bool changed);

private:
    void eventsReady();
    void poll();
    void startScan();
    // Reads what changed: the folders where events happened, or the whole collection.
    void scanChanges();

    Session& session_;
    Hooks hooks_;
    FolderWatcher watcher_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer quiet_;   // the coalescing of events
    QTimer poll_;    // progress and the end of a reading
    QTimer sweep_;   // the unwatched parts
    QTimer offline_; // whether offline folders are back
    qint64 firstEventAt_ = -1;
    bool again_ = false; // something changed while a reading ran
    // What the next reading reads: the whole collection, or the folders where events were.
    bool whole_ = false;
    std::vector<std::string> changed_;
    bool limitNoticed_ = false;
};

} // namespace cantorel
