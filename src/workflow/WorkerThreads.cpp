#include "workflow/WorkerThreads.h"

#include <chrono>

namespace twinfold {

void WorkerThreads::joinAll() {
    for (Worker& worker : workers_) {
        if (worker.thread.joinable()) worker.thread.join();
    }
    workers_.clear();
}

std::shared_future<void> WorkerThreads::start(std::shared_future<void> predecessor, std::function<void()> body) {
    joinEnded();
    std::promise<void> ended;
    std::shared_future<void> endedFuture = ended.get_future().share();
    std::thread thread(
        [body = std::move(body), predecessor = std::move(predecessor), ended = std::move(ended)]() mutable {
            // The services serve one call at a time: the cancelled predecessor
            // must be out of them before this task starts using them.
            if (predecessor.valid()) predecessor.wait();
            try {
                body();
            } catch (...) {
                // Bodies report their own failures; nothing may escape a thread.
            }
            ended.set_value();
        });
    workers_.push_back({std::move(thread), endedFuture});
    return endedFuture;
}

void WorkerThreads::joinEnded() {
    std::erase_if(workers_, [](Worker& worker) {
        if (worker.ended.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return false;
        worker.thread.join();
        return true;
    });
}

}  // namespace twinfold
