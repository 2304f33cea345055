#include "windows_run.h"

#include "forms.h"
#include "log_spool.h"
#include "log_view.h"
#include "main_window.h"
#include "quit_signals.h"

#include <QApplication>

int runwindows() {
    // The logs keep their text in spool files; a crashed run's are removed.
    LogView::spoolfolder = LogSpool::defaultfolder();
    LogSpool::removestale(LogView::spoolfolder);
    createforms();
    closeonsignals(Form1, [] { Form1->closeforsignal(); });
    Form1->show();
    // The first activation loads the settings; ask for it even where no
    // window manager hands out the focus.
    Form1->activateWindow();
    const int code = QApplication::exec();
    destroyforms();
    return code;
}
