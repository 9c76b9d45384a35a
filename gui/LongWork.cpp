#include "gui/LongWork.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <exception>
#include <thread>

namespace {

constexpr int kProgressSteps = 1000;  // the progress dialog's range
constexpr int kDialogUpdateMs = 50;   // how often the dialog takes the worker's progress

bool workRunning = false;
LongWork::Watcher watcher;

/// Events by which the user acts on a window: while work runs, only its progress dialog gets them.
bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Close:
        return true;
    default:
        return false;
    }
}

}  // namespace

LongWork::LongWork(QWidget* parent, const QString& label) : parent_(parent), label_(label) {}

LongWork::~LongWork() { delete dialog_; }

bool LongWork::running() { return workRunning; }

void LongWork::setWatcher(Watcher newWatcher) { watcher = std::move(newWatcher); }

bool LongWork::reportProgress(std::int64_t done, std::int64_t total)
{
    const double share = total > 0 ? static_cast<double>(done) / static_cast<double>(total) : 0.0;
    permille_.store(static_cast<int>(share * kProgressSteps));
    if (watcher && !watcher(share)) cancelled_.store(true);
    return !cancelled_.load();
}

bool LongWork::run(const std::function<bool(const WorkProgress& progress)>& work)
{
    const WorkProgress progress = [this](std::int64_t done, std::int64_t total) { return reportProgress(done, total); };
    // Work started by work already running (none does so now) runs in place, under the first one's
    // dialog and cursor.
    if (workRunning) return work(progress) && !cancelled_.load();
    workRunning = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(this);

    // Shown by the dialog itself once kProgressDelayMs have passed since setValue(0). It takes the
    // progress only from then on: before, its own guess of the time left could show it early.
    dialog_ = new QProgressDialog(label_, QStringLiteral("Cancel"), 0, kProgressSteps, parent_);
    dialog_->setWindowTitle(QStringLiteral("SpotTally"));
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setMinimumDuration(kProgressDelayMs);
    connect(dialog_, &QProgressDialog::canceled, this, [this] { cancelled_.store(true); });
    dialog_->setValue(0);
    QTimer update;
    connect(&update, &QTimer::timeout, this, [this] {
        if (dialog_->isVisible() && !dialog_->wasCanceled())
            dialog_->setValue(std::max(1, std::min(permille_.load(), kProgressSteps - 1)));
    });
    update.start(kDialogUpdateMs);

    QEventLoop loop;
    std::atomic<bool> ended{false};
    bool ranToEnd = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            ranToEnd = work(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        ended.store(true);
        QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    // The loop also ends when the program is asked to quit: the work is then cancelled and waited for.
    while (!ended.load())
        if (loop.exec() != 0) break;
    if (!ended.load()) cancelled_.store(true);
    worker.join();

    update.stop();
    dialog_->hide();
    qApp->removeEventFilter(this);
    QApplication::restoreOverrideCursor();
    workRunning = false;
    if (failure) std::rethrow_exception(failure);
    return ranToEnd && !cancelled_.load();
}

bool LongWork::eventFilter(QObject* watched, QEvent* event)
{
    if (!isUserInput(event->type())) return QObject::eventFilter(watched, event);
    // The progress dialog, its Cancel button and its shortcuts answer; every other window ignores the user.
    if (auto* window = qobject_cast<QWindow*>(watched)) return window != dialog_->windowHandle();
    for (const QObject* object = watched; object != nullptr; object = object->parent())
        if (object == dialog_) return false;
    return true;
}
