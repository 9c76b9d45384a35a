#pragma once
// Message boxes and file dialogs for the window benchmarks: they never block, and a message ends the
// benchmark with its text. And the main those benchmarks share.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QString>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "gui/Forms.h"
#include "gui/UserDialogs.h"

class QuietDialogs final : public UserDialogs {
public:
    /// replace: the answer when saving would replace a file that holds other work.
    explicit QuietDialogs(ReplaceChoice replace = ReplaceChoice::Cancel) : replace_(replace) {}
    void message(MessageKind, const QString& text) override
    {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(text));
        std::exit(1);
    }
    QString openFile(const FileDialogSpec&) override { return {}; }
    QString saveFile(const FileDialogSpec&) override { return {}; }
    QStringList openFiles(const FileDialogSpec&) override { return {}; }
    SaveChoice askSaveDiscardCancel(const QString&) override { return SaveChoice::Discard; }
    ReplaceChoice askReplaceKeepBothCancel(const QString&, const QString&) override { return replace_; }

private:
    ReplaceChoice replace_;
};

/// The main of a window benchmark: offscreen unless a platform is set, the application named as the
/// program names itself, then the benchmarks.
inline int runWindowBenchmarks(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    nameApplication();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
