#pragma once

// The threads the view model's tasks run on. Each task waits for the one
// before it to leave the services they share, and a thread is joined once
// it has ended (or when the owner goes), never detached.

#include <functional>
#include <future>
#include <thread>
#include <vector>

namespace twinfold {

class WorkerThreads {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads() { joinAll(); }
    // Waits for every thread: whoever owns this must have cancelled their work first.
    void joinAll();

    // Runs `body` on a new thread once `predecessor` (if valid) is ready;
    // the future returned becomes ready when the thread has ended. Nothing
    // `body` throws escapes the thread.
    std::shared_future<void> start(std::shared_future<void> predecessor, std::function<void()> body);

private:
    void joinEnded();

    struct Worker {
        std::thread thread;
        std::shared_future<void> ended;
    };
    std::vector<Worker> workers_;
};

}  // namespace twinfold
