#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFutureWatcher>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace twinfold::test {

// Far beyond any answer from the local server; only a hung test reaches it.
inline constexpr std::chrono::seconds kHangGuard{30};

// Runs the event loop until the future has finished (or the hang guard
// passes) and returns it.
template <typename T>
QFuture<T> finished(QFuture<T> future) {
    if (!future.isFinished()) {
        QEventLoop loop;
        QFutureWatcher<T> watcher;
        QObject::connect(&watcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(kHangGuard, &loop, &QEventLoop::quit);
        watcher.setFuture(future);
        if (!future.isFinished()) loop.exec();
    }
    EXPECT_TRUE(future.isFinished()) << "the task did not end";
    return future;
}

// Runs the event loop until `done` holds (or the hang guard passes).
inline bool processEventsUntil(const std::function<bool()>& done) {
    QDeadlineTimer guard(kHangGuard);
    while (!done() && !guard.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return done();
}

}  // namespace twinfold::test
