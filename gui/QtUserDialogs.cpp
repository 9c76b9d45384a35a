#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "gui/UserDialogs.h"

namespace {

class QtUserDialogs final : public UserDialogs {
public:
    void message(MessageKind kind, const QString& text) override
    {
        QWidget* parent = QApplication::activeWindow();
        const QString title = QApplication::applicationDisplayName();
        switch (kind) {
        case MessageKind::Plain: {
            QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
            box.exec();
            break;
        }
        case MessageKind::Information:
            QMessageBox::information(parent, title, text);
            break;
        case MessageKind::Warning:
            QMessageBox::warning(parent, title, text);
            break;
        }
    }

    QString openFile(const FileDialogSpec& request) override { return run(request, QFileDialog::AcceptOpen); }
    QString saveFile(const FileDialogSpec& request) override { return run(request, QFileDialog::AcceptSave); }
    QStringList openFiles(const FileDialogSpec& request) override
    {
        QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialDirectory,
                           qtFilterFromPairs(request.filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFiles);
        if (dialog.exec() != QDialog::Accepted) return {};
        return dialog.selectedFiles();
    }

    SaveChoice askSaveDiscardCancel(const QString& text) override
    {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QApplication::activeWindow());
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        switch (box.exec()) {
        case QMessageBox::Save: return SaveChoice::Save;
        case QMessageBox::Discard: return SaveChoice::Discard;
        default: return SaveChoice::Cancel;
        }
    }

    ReplaceChoice askReplaceKeepBothCancel(const QString& text, const QString& keepBothCaption) override
    {
        QMessageBox box(QMessageBox::Warning, QApplication::applicationDisplayName(), text,
                        QMessageBox::NoButton, QApplication::activeWindow());
        QPushButton* replace = box.addButton(QStringLiteral("replace"), QMessageBox::DestructiveRole);
        QPushButton* keepBoth = box.addButton(keepBothCaption, QMessageBox::AcceptRole);
        QPushButton* cancel = box.addButton(QMessageBox::Cancel);
        box.setDefaultButton(keepBoth);  // Enter loses nothing
        box.setEscapeButton(cancel);
        box.exec();
        if (box.clickedButton() == replace) return ReplaceChoice::Replace;
        if (box.clickedButton() == keepBoth) return ReplaceChoice::KeepBoth;
        return ReplaceChoice::Cancel;
    }

private:
    static QString run(const FileDialogSpec& request, QFileDialog::AcceptMode mode)
    {
        QFileDialog dialog(QApplication::activeWindow(), request.title, request.initialDirectory,
                           qtFilterFromPairs(request.filter));
        dialog.setAcceptMode(mode);
        dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        QString extension = request.defaultExtension;
        extension.remove(QLatin1Char('*')).remove(QLatin1Char('.'));
        if (!extension.isEmpty()) dialog.setDefaultSuffix(extension);
        if (!request.fileName.isEmpty()) dialog.selectFile(request.fileName);
        if (!request.askBeforeReplacing) dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().constFirst();
    }
};

QtUserDialogs qtDialogs;
UserDialogs* installed = nullptr;

}  // namespace

UserDialogs& dialogs() { return installed ? *installed : qtDialogs; }

void setDialogs(UserDialogs* replacement) { installed = replacement; }

QString qtFilterFromPairs(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        entries << parts[i] + QStringLiteral(" (") + patterns + QLatin1Char(')');
    }
    return entries.join(QStringLiteral(";;"));
}
