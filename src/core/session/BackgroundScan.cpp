#include "core/session/BackgroundScan.h"

#include <utility>

namespace cantorel {

BackgroundScan::~BackgroundScan() { cancel(); }

bool BackgroundScan::start(Work work, std::function<void()> done)
{
    if (running())
        return false;
    join();
    cancel_ = false;
    finished_ = false;
    progress_.position = 0;
    progress_.maximum = 0;
    thread_ = std::thread([this, work = std::move(work), done = std::move(done)] {
        CollectionTree tree = work(progress_, cancel_);
        if (!cancel_)
            result_ = std::move(tree);
        finished_ = true;
        if (done && !cancel_)
            done();
    });
    return true;
}

std::optional<CollectionTree> BackgroundScan::take()
{
    if (!finished())
        return std::nullopt;
    join();
    return std::exchange(result_, std::nullopt);
}

void BackgroundScan::cancel()
{
    cancel_ = true;
    join();
    result_.reset();
}

void BackgroundScan::join()
{
    if (thread_.joinable())
        thread_.join();
}

} // namespace cantorel
