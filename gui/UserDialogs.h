#pragma once
// UserDialogs: every message box and file dialog the windows show goes through this interface, so the
// windows can be driven by tests (see tests/gui/support/ScriptedDialogs.h) without ever blocking.

#include <QString>
#include <QStringList>

class UserDialogs {
public:
    enum class MessageKind { Plain, Information, Warning };

    struct FileDialogSpec {
        QString title;
        QString initialDirectory;
        QString filter;            // "Images|*.jpg;*.bmp|All files|*.*"
        QString defaultExtension;  // "*.txt" or empty
        QString fileName;          // preset file name, may be empty
        // Save dialogs: the dialog itself asks before an existing file is chosen. Off where the caller
        // never replaces a file and says so itself: one question, not two.
        bool askBeforeReplacing = true;
    };

    /// The three answers to "save first?".
    enum class SaveChoice { Save, Discard, Cancel };
    /// The three answers when saving would replace a file that holds other work.
    enum class ReplaceChoice { Replace, KeepBoth, Cancel };

    virtual ~UserDialogs() = default;
    /// A modal box with one OK button.
    virtual void message(MessageKind kind, const QString& text) = 0;
    /// The chosen file's full path, or an empty text when the user cancelled.
    virtual QString openFile(const FileDialogSpec& request) = 0;
    virtual QString saveFile(const FileDialogSpec& request) = 0;
    /// The chosen files' full paths, in the order chosen; empty when the user cancelled.
    virtual QStringList openFiles(const FileDialogSpec& request) = 0;
    /// A question before work would be lost: save it, discard it, or cancel what was about to happen.
    virtual SaveChoice askSaveDiscardCancel(const QString& text) = 0;
    /// A question before saving replaces a file holding other work: replace it, keep both (the new
    /// work saved as keepBothCaption names it), or cancel the save.
    virtual ReplaceChoice askReplaceKeepBothCancel(const QString& text, const QString& keepBothCaption) = 0;
};

/// The program-wide dialogs; the Qt ones unless a test installed others.
UserDialogs& dialogs();
/// Installs the dialogs used from now on (not owned); nullptr goes back to the Qt ones.
void setDialogs(UserDialogs* replacement);
/// "Images|*.jpg;*.bmp|All files|*.*" -> "Images (*.jpg *.bmp);;All files (*.*)".
QString qtFilterFromPairs(const QString& filter);
