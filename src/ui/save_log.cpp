#include "save_log.h"

#include "dialogs.h"
#include "forms.h"
#include "log_view.h"
#include "main_window.h"

#include <QFileInfo>

void savelog(LogView *log) {
    const QString path = Form1->SaveDialog_data.executeSave();
    if (path.isEmpty())
        return;
    if (QFileInfo::exists(path) &&
        dialogs().confirm(QString("Přepsat existující soubor? %1").arg(path), false) != Answer::Yes)
        return;
    log->save(path);
}
