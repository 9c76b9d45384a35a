#pragma once
// LongWork: a long piece of work (a count, a picture's decoding) run on a worker thread while the
// windows go on repainting. A busy cursor shows at once; a progress dialog with a Cancel button shows
// once the work has taken longer than kProgressDelayMs. Meanwhile the windows take no input (mouse,
// keys, shortcuts, drops, closing), so nothing can change what the work reads and no second piece of
// work can start; only the progress dialog answers. The caller waits in run() as for a plain call.

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>

#include "core/WorkProgress.h"

class QProgressDialog;
class QWidget;

class LongWork : public QObject {
public:
    /// How long work may take before its progress dialog shows, in milliseconds.
    static constexpr int kProgressDelayMs = 500;

    /// label: what the progress dialog says is being done.
    LongWork(QWidget* parent, const QString& label);
    ~LongWork() override;
    LongWork(const LongWork&) = delete;
    LongWork& operator=(const LongWork&) = delete;

    /// Runs work(progress) on a worker thread and returns once it has ended, handling the windows'
    /// events meanwhile. work returns whether it ran to its end (false: it stopped because progress
    /// asked it to). True when the work ran to its end and was not cancelled. An exception work
    /// throws is thrown again here.
    bool run(const std::function<bool(const WorkProgress& progress)>& work);

    /// Whether some long work is running now (its caller is waiting in run()).
    static bool running();

    /// For tests: called on the worker thread with the share of the work done (0 to 1) each time the
    /// work reports progress; answering false cancels the work there, as Cancel would. Empty: none.
    using Watcher = std::function<bool(double done)>;
    static void setWatcher(Watcher watcher);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool reportProgress(std::int64_t done, std::int64_t total);

    QWidget* parent_;
    QString label_;
    QProgressDialog* dialog_ = nullptr;
    std::atomic<bool> cancelled_{false};
    std::atomic<int> permille_{0};  // share done, in thousandths, as last reported
};
