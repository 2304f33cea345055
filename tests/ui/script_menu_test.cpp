// "Soubor" → "Spustit skript…" in the real windows: a short script's
// records, and the same item stopping a script that waits.
#include "forms_fixture.h"
#include "write_file.h"

#include "log_seam.h"
#include "states_window.h"
#include "wait_for.h"

#include <QAction>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

namespace {

class ScriptMenu : public FormsTest {
protected:
    void SetUp() override {
        FormsTest::SetUp();
        start();
        Form_RX_TX->CheckBox_stavy->setChecked(true);
    }
    QString script(const QByteArray &lua) { return writefile(dir.filePath("short.lua"), lua); }
    static QStringList mixtexts() { return seam::texts(Form_RX_TX->RichEdit_mix); }
};

TEST_F(ScriptMenu, AShortScriptWritesItsRecords) {
    fakeDialogs().files = {script("print('hi')\nkrovan.sleep(10)\nkrovan.check(false, 'nope')\n")};
    Form1->Spustitskript1->trigger();
    EXPECT_EQ(Form1->Spustitskript1->text(), "Zastavit skript");
    ASSERT_TRUE(waitfor([] { return Form1->Spustitskript1->text() == "Spustit skript…"; }));
    EXPECT_EQ(mixtexts(),
              (QStringList{"Skript short.lua spuštěn", "hi", "CHYBA: kontrola nope selhala",
                           "Skript short.lua skončil (kontrol: 1, selhalo: 1)"}));
    EXPECT_TRUE(fakeDialogs().errors.isEmpty());
}

TEST_F(ScriptMenu, TheItemStopsAScriptThatWaitsOrComputesAndASyntaxErrorIsShown) {
    fakeDialogs().files = {script("krovan.sleep(60000)\n")};
    Form1->Spustitskript1->trigger();
    Form1->Spustitskript1->trigger();
    EXPECT_EQ(Form1->Spustitskript1->text(), "Spustit skript…");
    EXPECT_EQ(mixtexts().last(), "Skript short.lua skončil (kontrol: 0, selhalo: 0)");

    // A script that never waits leaves the window its turns.
    fakeDialogs().files = {script("while true do end\n")};
    Form1->Spustitskript1->trigger();
    int turns = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++turns; });
    ticker.start(10);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(waitfor([&] { return turns >= 10; }, 2000)) << turns;
    EXPECT_LT(clock.elapsed(), 1000);
    Form1->Spustitskript1->trigger();
    EXPECT_EQ(Form1->Spustitskript1->text(), "Spustit skript…");
    EXPECT_EQ(mixtexts().last(), "Skript short.lua skončil (kontrol: 0, selhalo: 0)");

    fakeDialogs().files = {script("krovan.sleep(\n")};
    Form1->Spustitskript1->trigger();
    ASSERT_EQ(fakeDialogs().errors.size(), 1);
    EXPECT_TRUE(fakeDialogs().errors[0].startsWith(dir.filePath("short.lua") + ":2:"))
        << fakeDialogs().errors[0].toStdString();
    EXPECT_EQ(Form1->Spustitskript1->text(), "Spustit skript…");
}

} // namespace
