#pragma once
// What every window test shares: the three windows created for one test with the scripted dialogs and
// a settings file of the test's own, and the check that no message box was shown.

#include <QAction>
#include <QSignalBlocker>
#include <QString>
#include <QTest>
#include <filesystem>
#include <memory>

#include "ScriptedDialogs.h"
#include "core/LastParameters.h"
#include "core/SettingsFile.h"
#include "gui/Forms.h"
#include "gui/TForm2.h"

/// Fails the test, listing the texts, when any message box was shown.
#define VERIFY_NO_MESSAGE(dialogs) \
    QVERIFY2((dialogs)->messages.empty(), qPrintable((dialogs)->messageTexts().join(QStringLiteral(" | "))))

/// The parameters an earlier count left in the settings file go: every test starts with the fields'
/// own defaults.
inline void forgetLastParameters(const std::filesystem::path& settingsFile)
{
    const SettingsRead settings = readSettingsFile(settingsFile);
    for (const auto& entry : lastParameterEntries(ParameterTexts{}))
        if (!settingsValues(settings.laterLines, entry.first).empty()) writeSettingsValues(settingsFile, entry.first, {});
}

/// Installs fresh scripted dialogs, then creates the three windows with a settings file of the test's
/// own: nothing the windows do at start can block. For a test's init().
inline std::unique_ptr<ScriptedDialogs> openTestWindows(const std::filesystem::path& settingsFile)
{
    forgetLastParameters(settingsFile);
    auto dialogs = std::make_unique<ScriptedDialogs>();
    createForms(settingsFile);
    // Pictures open at 100 %, where a test's clicks land on the pixels it means; the tests of opening
    // fitted switch it on. The settings file is left alone.
    const QSignalBlocker quiet(Form2->Openfitted1);
    Form2->Openfitted1->setChecked(false);
    return dialogs;
}

/// Deletes the windows (resetting the analysis record), then the dialogs. For a test's cleanup().
inline void closeTestWindows(std::unique_ptr<ScriptedDialogs>& dialogs)
{
    destroyForms();
    dialogs.reset();
}
