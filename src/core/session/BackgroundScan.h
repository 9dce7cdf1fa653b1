#pragma once

#include "core/collection/BuildProgress.h"
#include "core/collection/CollectionTree.h"

#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace cantorel {

// One reading of the collection on a thread of its own, while the window goes on with
// the tree it shows: how far it is (top-level entries read of all), and its tree once done.
class BackgroundScan {
public:
    // Builds the tree; `cancel` turns true when the result is no longer wanted.
    using Work = std::function<CollectionTree(BuildProgress& progress, const std::atomic<bool>& cancel)>;

    BackgroundScan() = default;
    ~BackgroundScan(); // cancels and waits
    BackgroundScan(const BackgroundScan&) = delete;
    BackgroundScan& operator=(const BackgroundScan&) = delete;

    // Starts `work`; `done` is called on the scan's thread when it ends. False while a
    // scan runs.
    bool start(Work work, std::function<void()> done = {});
    bool running() const { return thread_.joinable() && !finished_.load(); }
    bool finished() const { return thread_.joinable() && finished_.load(); }
    // The finished scan's tree (nothing while it runs or when it was cancelled).
    std::optional<CollectionTree> take();
    // Drops the scan under way: it ends soon, and its tree is not taken.
    void cancel();

    int position() const { return progress_.position.load(); }
    int maximum() const { return progress_.maximum.load(); }

private:
    struct Progress : BuildProgress {
        std::atomic<int> position{0};
        std::atomic<int> maximum{0};
        void setStatus(const std::string&) override {}
        void setMaximum(int m) override { maximum = m; }
        void setPosition(int p) override { position = p; }
        void repaint() override {}
    };
    void join();

    Progress progress_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::optional<CollectionTree> result_;
    std::thread thread_;
};

} // namespace cantorel
