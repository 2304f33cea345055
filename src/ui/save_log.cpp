#include "save_log.h"

#include "dialogs.h"
#include "forms.h"
#include "log_view.h"
#include "main_window.h"
#include "session.h"

#include <QFileInfo>

void savelog(LogView *log) {
    const QString chosen = Form1->SaveDialog_data.executeSave();
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen);
    const QString question = QString("Přepsat existující soubor? %1").arg(file.absoluteFilePath());
    if (file.exists() && dialogs().confirm(question, false) != Answer::Yes)
        return;
    log->save(file.absoluteFilePath());
}

void notespoolfailure(LogView *log, const QString &caption) {
    QObject::connect(log, &LogView::spoolfailed, log, [caption](const QString &reason) {
        const QString text =
            QString("Okno \"%1\" nemůže ukládat záznam na disk (%2), vede ho v paměti")
                .arg(caption, reason);
        if (Form1 && !Form1->settingsloaded)
            Form1->earlynotes << text;
        else if (Session1)
            Session1->note(text);
    });
}
