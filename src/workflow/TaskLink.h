#pragma once

// Private to the view model's sources: how a worker thread talks back to the
// view model on the GUI thread, and how fields are published there.

#include "jobs/ConversionRunner.h"
#include "workflow/ScanViewModel.h"

#include <QMetaObject>
#include <QPromise>

namespace twinfold {

template <typename T>
void ScanViewModel::publish(T& field, T value, void (ScanViewModel::*changed)()) {
    if (field == value) return;
    field = std::move(value);
    emit(this->*changed)();
}

// A worker's handle on its task: the token it tests, and queued calls to the
// GUI thread that run only while the view model exists and the task has not
// been cancelled. A cancel happens on the GUI thread too, so once it has
// returned no call of the cancelled task can publish anything.
//
// Every queued call keeps the task's promise alive; the caller's future
// therefore finishes only after the worker and all of its calls are done.
// A task that ends without finishing its promise (cancelled, or its view
// model gone) leaves the future finished as cancelled.
class ScanViewModel::TaskLink {
public:
    TaskLink(ScanViewModel& owner, Token cancelled, Promise promise)
        : context_(&owner), owner_(&owner), cancelled_(std::move(cancelled)), promise_(std::move(promise)) {}

    bool isCancelled() const { return cancelled_->load(); }
    const std::atomic<bool>& token() const { return *cancelled_; }

    // apply(viewModel) on the GUI thread, later.
    template <typename Apply>
    void post(Apply apply) const {
        postFinal([apply = std::move(apply)](ScanViewModel& vm, const Promise&) mutable { apply(vm); });
    }

    // apply(viewModel), then the caller's future finishes.
    template <typename Apply>
    void finish(Apply apply) const {
        postFinal([apply = std::move(apply)](ScanViewModel& vm, const Promise& promise) mutable {
            apply(vm);
            promise->finish();
        });
    }

    // apply(viewModel, promise): the call decides when the future finishes.
    template <typename Apply>
    void postFinal(Apply apply) const {
        // The view model outlives its workers (its destructor joins them),
        // so `context_` is valid here; the QPointer is checked again when
        // the call runs.
        QMetaObject::invokeMethod(
            context_,
            [owner = owner_, cancelled = cancelled_, promise = promise_, apply = std::move(apply)]() mutable {
                if (!owner || cancelled->load()) return;
                apply(*owner, promise);
            },
            Qt::QueuedConnection);
    }

private:
    QObject* context_;
    QPointer<ScanViewModel> owner_;
    Token cancelled_;
    Promise promise_;
};

// The inputs of one scan task.
struct ScanViewModel::ScanSources {
    std::vector<Path> files;    // dropped files, first in the list
    std::vector<Path> folders;  // listed in turn
    FileScannerService* scanner = nullptr;
    std::shared_ptr<AudioAnalyzerService> analyzer;
    ScanHooks hooks;
    ScanOptions options;
};

// The inputs of one conversion task, fixed when it starts.
struct ScanViewModel::ConversionInput {
    ConversionJob job;
    std::optional<Path> folder;  // where the backup folder goes
    std::shared_ptr<AudioConverterService> converter;
    ConversionHooks hooks;
    std::function<QDateTime()> backupTime;
};

}  // namespace twinfold
