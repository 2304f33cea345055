// The windows as the program runs them, with UDP open on a port the system
// chooses and every entry captured to the file given: prints the port, then
// runs until it is killed. Usage: capture_child FILE
#include "dialogs.h"
#include "forms.h"
#include "main_window.h"
#include "session.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <cstdio>

namespace {

class NoDialogs : public Dialogs {
public:
    void showError(const QString &message) override {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
    Answer confirm(const QString &, bool) override { return Answer::No; }
    QString openFileName(const FileDialogSetup &) override { return {}; }
    QString saveFileName(const FileDialogSetup &) override { return {}; }
};

} // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    NoDialogs quiet;
    setDialogs(&quiet);
    QTemporaryDir dir;
    createforms();
    Form1->settingsfile = dir.filePath("default.ini");
    Form1->show();
    Form1->activateWindow();
    QApplication::processEvents();
    Form1->ComboBox_pripojeni->setCurrentIndex(3);
    Form1->Edit_rx_port->setText("0");
    Form1->Button_UDP_On->click();
    Session1->startcapture(QString::fromLocal8Bit(argv[1]), qint64(1) << 30);
    std::printf("%d\n", Form1->IdUDPServer1.localPort());
    std::fflush(stdout);
    return app.exec();
}
