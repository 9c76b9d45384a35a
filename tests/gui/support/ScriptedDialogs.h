#pragma once
// ScriptedDialogs: the test double of UserDialogs. Records every box and dialog that would have been
// shown and answers file dialogs from a script; an unscripted dialog answers "cancelled". An unscripted
// save/discard/cancel question answers "discard", an unscripted replace/keep both/cancel question
// "replace": what the windows did before they asked.

#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

#include "gui/UserDialogs.h"

class ScriptedDialogs final : public UserDialogs {
public:
    struct Shown {
        MessageKind kind;
        QString text;
    };

    ScriptedDialogs() { setDialogs(this); }
    ~ScriptedDialogs() override
    {
        if (&dialogs() == this) setDialogs(nullptr);
    }

    void message(MessageKind kind, const QString& text) override { messages.push_back({kind, text}); }
    QString openFile(const FileDialogSpec& request) override { return answer(request); }
    QString saveFile(const FileDialogSpec& request) override
    {
        QString path = answer(request);
        // The platform's save dialog asks before it accepts a file that exists, unless told not to.
        if (request.askBeforeReplacing && !path.isEmpty() && QFileInfo::exists(path))
            replaceQuestions << path;
        return path;
    }
    /// Several files: the next scripted answer split at '\n' (an empty answer: cancelled).
    QStringList openFiles(const FileDialogSpec& request) override
    {
        const QString path = answer(request);
        return path.isEmpty() ? QStringList() : path.split(QLatin1Char('\n'));
    }

    SaveChoice askSaveDiscardCancel(const QString& text) override
    {
        questions << text;
        if (saveAnswers.empty()) return SaveChoice::Discard;
        const SaveChoice choice = saveAnswers.front();
        saveAnswers.pop_front();
        return choice;
    }
    /// The next save/discard/cancel question answers choice.
    void answerNextQuestion(SaveChoice choice) { saveAnswers.push_back(choice); }

    ReplaceChoice askReplaceKeepBothCancel(const QString& text, const QString& keepBothCaption) override
    {
        keepBothQuestions << text;
        keepBothCaptions << keepBothCaption;
        if (replaceAnswers.empty()) return ReplaceChoice::Replace;
        const ReplaceChoice choice = replaceAnswers.front();
        replaceAnswers.pop_front();
        return choice;
    }
    /// The next replace/keep both/cancel question answers choice.
    void answerNextReplaceQuestion(ReplaceChoice choice) { replaceAnswers.push_back(choice); }

    /// The next file dialog answers path (an empty text means the user cancels).
    void answerNextFileDialog(const QString& path) { fileAnswers.push_back(path); }
    QStringList messageTexts() const
    {
        QStringList texts;
        for (const Shown& shown : messages) texts << shown.text;
        return texts;
    }

    std::vector<Shown> messages;
    std::vector<FileDialogSpec> fileDialogs;  // every file dialog shown, in order
    QStringList replaceQuestions;             // files a save dialog asked about replacing (answered yes)
    std::deque<QString> fileAnswers;
    QStringList questions;  // every save/discard/cancel question asked, in order
    std::deque<SaveChoice> saveAnswers;
    QStringList keepBothQuestions;  // every replace/keep both/cancel question asked, in order
    QStringList keepBothCaptions;   // the "keep both" button's caption of each
    std::deque<ReplaceChoice> replaceAnswers;

private:
    QString answer(const FileDialogSpec& request)
    {
        fileDialogs.push_back(request);
        if (fileAnswers.empty()) return QString();
        QString path = fileAnswers.front();
        fileAnswers.pop_front();
        return path;
    }
};
