// "Soubor" → "Spustit skript…": a test script run on the open link from
// the windows, and stopped by the same item while it runs.
#include "main_window.h"

#include "script_run.h"

#include <QAction>

TForm1::~TForm1() = default;

void TForm1::Spustitskript1Click() {
    if (script_ && script_->running()) {
        script_->stop();
        // Not inside its own call: the stop may come from a nested loop.
        script_.release()->deleteLater();
        Spustitskript1->setText("Spustit skript…");
        return;
    }
    const QString file = OpenDialog_script.executeOpen();
    if (file.isEmpty())
        return;
    auto script = std::make_unique<ScriptRun>(session, file);
    // print writes a state record in the windows.
    script->print = [this](const QString &text) { session.note(text); };
    script->load();
    connect(script.get(), &ScriptRun::finished, this, [this] {
        Spustitskript1->setText("Spustit skript…");
        // Gone once its report of the end has returned.
        script_.release()->deleteLater();
    });
    script_ = std::move(script);
    Spustitskript1->setText("Zastavit skript");
    script_->start();
}
