#include "dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

namespace {

// "Soubor RTF|*.rtf" becomes "Soubor RTF (*.rtf)".
QString qtFilter(const QString &filter) {
    const QStringList parts = filter.split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2)
        filters << parts[i] + " (" + parts[i + 1] + ")";
    return filters.join(";;");
}

QString withDefaultExt(const QString &path, const QString &ext) {
    if (path.isEmpty() || ext.isEmpty() || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + "." + ext;
}

void prepare(QFileDialog &dialog, const FileDialogSetup &setup) {
    dialog.setNameFilter(qtFilter(setup.filter));
    dialog.setDefaultSuffix(setup.defaultExt);
    if (!setup.initialDir.isEmpty())
        dialog.setDirectory(setup.initialDir);
    if (!setup.fileName.isEmpty())
        dialog.selectFile(setup.fileName);
    if (!setup.title.isEmpty())
        dialog.setWindowTitle(setup.title);
}

class QtDialogs : public Dialogs {
public:
    void showError(const QString &message) override {
        QMessageBox box(QMessageBox::Critical, "Krovan", message, QMessageBox::Ok);
        box.exec();
    }

    Answer confirm(const QString &message, bool withCancel) override {
        auto buttons = QMessageBox::Yes | QMessageBox::No;
        if (withCancel)
            buttons |= QMessageBox::Cancel;
        QMessageBox box(QMessageBox::Question, "Confirm", message, buttons);
        box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::No);
        switch (box.exec()) {
        case QMessageBox::Yes:
            return Answer::Yes;
        case QMessageBox::No:
            return Answer::No;
        default:
            return withCancel ? Answer::Cancel : Answer::No;
        }
    }

    QString openFileName(const FileDialogSetup &setup) override {
        QFileDialog dialog;
        prepare(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(setup.mustExist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().first();
    }

    QString saveFileName(const FileDialogSetup &setup) override {
        QFileDialog dialog;
        prepare(dialog, setup);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        // The program asks its own overwrite question.
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        return dialog.selectedFiles().first();
    }
};

QtDialogs qtDialogs;
Dialogs *current = &qtDialogs;

} // namespace

Dialogs &dialogs() {
    return *current;
}

void setDialogs(Dialogs *replacement) {
    current = replacement ? replacement : &qtDialogs;
}

QString FileDialog::remember(const QString &chosen) {
    if (chosen.isEmpty())
        return chosen;
    const QString path = withDefaultExt(chosen, setup_.defaultExt);
    setup_.fileName = path;
    return path;
}

QString FileDialog::executeOpen() {
    return remember(dialogs().openFileName(setup_));
}

QString FileDialog::executeSave() {
    return remember(dialogs().saveFileName(setup_));
}
