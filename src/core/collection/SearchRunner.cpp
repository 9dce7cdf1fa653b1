#include "core/collection/SearchRunner.h"

namespace cantorel {

SearchRunner::SearchRunner(const SearchIndex& index, Done done, std::size_t limit)
    : index_(index), done_(std::move(done)), limit_(limit), thread_([this] { run(); })
{
}

SearchRunner::~SearchRunner()
{
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        ++generation_;
    }
    wake_.notify_one();
    thread_.join();
}

std::uint64_t SearchRunner::find(const std::string& text)
{
    std::uint64_t number = 0;
    {
        std::lock_guard lock(mutex_);
        pending_ = text;
        number = ++generation_;
    }
    wake_.notify_one();
    return number;
}

void SearchRunner::cancel()
{
    std::lock_guard lock(mutex_);
    pending_.reset();
    ++generation_;
}

void SearchRunner::run()
{
    for (;;) {
        std::string text;
        std::uint64_t mine = 0;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quit_ || pending_.has_value(); });
            if (quit_)
                return;
            text = std::move(*pending_);
            pending_.reset();
            mine = generation_.load();
        }
        SearchHits hits = index_.search(index_.words(text), &generation_, mine, limit_);
        if (!hits.cancelled && generation_.load() == mine)
            done_(mine, std::move(hits));
    }
}

} // namespace cantorel
