#include "forms_fixture.h"

#include "log_seam.h"
#include "log_view.h"
#include "received_window.h"
#include "sent_window.h"
#include "states_window.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

using namespace std::string_literals;

namespace {

QByteArray readfile(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writefile(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct ReadLine {
    QString text;
    QColor colour;
    QString font;
};

// Reads an RTF file back with unrtf: its HTML, parsed by Qt, gives each
// line's text, colour and font as a reader of the file would show them.
std::vector<ReadLine> readback(const QString &path) {
    QProcess unrtf;
    unrtf.start("unrtf", {"--html", path});
    if (!unrtf.waitForFinished(20000)) {
        unrtf.kill();
        unrtf.waitForFinished(2000);
        ADD_FAILURE() << "unrtf did not finish";
        return {};
    }
    EXPECT_EQ(unrtf.exitCode(), 0) << unrtf.readAllStandardError().toStdString();
    QTextDocument html;
    html.setHtml(QString::fromUtf8(unrtf.readAllStandardOutput()));

    // unrtf ends every paragraph with <br>: a line separator in the block.
    std::vector<ReadLine> lines(1);
    for (QTextBlock block = html.firstBlock(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QStringList pieces = fragment.text().split(QChar::LineSeparator);
            for (qsizetype i = 0; i < pieces.size(); ++i) {
                if (i > 0)
                    lines.emplace_back();
                if (pieces[i].trimmed().isEmpty())
                    continue;
                if (lines.back().text.isEmpty()) {
                    lines.back().colour = fragment.charFormat().foreground().color();
                    lines.back().font =
                        fragment.charFormat().fontFamilies().toStringList().value(0);
                }
                lines.back().text += pieces[i];
            }
        }
    }
    if (lines.back().text.isEmpty())
        lines.pop_back(); // after the last <br>
    return lines;
}

} // namespace

class SaveLog : public FormsTest {
protected:
    QString path(const char *name) const { return dir.filePath(name); }
};

TEST_F(SaveLog, EveryLogSavesThroughTheOneSharedDialog) {
    const QString first = path("mix.rtf");
    const QString second = path("received.rtf");
    const QString third = path("sent.rtf");
    fakeDialogs().files = {
        first, second, third, path("menu1"), path("menu2.rtf"), path("menu3.rtf")};
    Form_RX_TX->addstate("x"); // nothing: "Stavy" is unchecked
    Form_RX_TX->adderror("CHYBA: Žádné aktivní připojení", "MS Sans Serif");

    QTest::mouseClick(Form_RX_TX->Button_save, Qt::LeftButton);
    QTest::mouseClick(Form_rxw->Button_Save, Qt::LeftButton);
    QTest::mouseClick(Form_txw->Button_save, Qt::LeftButton);
    Form1->Uloitstavy1->trigger();
    Form1->Uloitpijatdata1->trigger();
    Form1->Uloitodeslandata1->trigger();

    const auto &asked = fakeDialogs().fileDialogs;
    ASSERT_EQ(asked.size(), 6u);
    for (const FileDialogSetup &setup : asked) {
        EXPECT_EQ(setup.filter, "Soubor RTF|*.rtf");
        EXPECT_EQ(setup.defaultExt, "rtf");
    }
    // The first offer is "nový soubor"; each later one is the name chosen last,
    // whichever window chose it.
    EXPECT_EQ(asked[0].fileName, "nový soubor");
    EXPECT_EQ(asked[1].fileName, first);
    EXPECT_EQ(asked[2].fileName, second);
    EXPECT_EQ(asked[3].fileName, third);
    EXPECT_EQ(asked[5].fileName, path("menu2.rtf"));
    EXPECT_TRUE(fakeDialogs().errors.isEmpty()) << fakeDialogs().errors.join("; ").toStdString();

    // Each file holds its own log; the name without extension got ".rtf".
    EXPECT_TRUE(readfile(first).contains("CHYBA: \\'8e\\'e1dn\\'e9 aktivn\\'ed p\\'f8ipojen\\'ed"));
    EXPECT_TRUE(readfile(path("menu1.rtf")).contains("CHYBA"));
    EXPECT_FALSE(readfile(second).contains("CHYBA"));
    EXPECT_TRUE(readfile(second).startsWith("{\\rtf1"));
    EXPECT_TRUE(readfile(path("menu2.rtf")).startsWith("{\\rtf1"));
    EXPECT_TRUE(readfile(path("menu3.rtf")).startsWith("{\\rtf1"));
}

TEST_F(SaveLog, CancellingTheDialogWritesNothing) {
    Form_RX_TX->adderror("CHYBA");
    Form_RX_TX->Button_saveClick(); // no file queued: the dialog is cancelled
    EXPECT_EQ(fakeDialogs().fileDialogs.size(), 1u);
    EXPECT_TRUE(fakeDialogs().confirmations.isEmpty());
    EXPECT_TRUE(QDir(dir.path()).entryList(QDir::Files).isEmpty());
}

TEST_F(SaveLog, AnExistingFileIsReplacedOnlyAfterYes) {
    const QString file = path("log.rtf");
    const QByteArray old("old content\r\n\0\xFF", 15);
    ASSERT_TRUE(writefile(file, old));
    Form_RX_TX->adderror("CHYBA - nepřišla odpověď.", "MS Sans Serif");

    fakeDialogs().files = {file, file};
    fakeDialogs().answers = {Answer::No, Answer::Yes};
    Form_RX_TX->Button_saveClick();
    ASSERT_EQ(fakeDialogs().confirmations.size(), 1);
    EXPECT_EQ(fakeDialogs().confirmations[0], "Přepsat existující soubor? " + file + " [Yes/No]");
    EXPECT_EQ(readfile(file), old);

    Form_RX_TX->Button_saveClick();
    EXPECT_EQ(fakeDialogs().confirmations.size(), 2);
    EXPECT_TRUE(readfile(file).startsWith("{\\rtf1"));
    EXPECT_TRUE(readfile(file).contains("CHYBA - nep\\'f8i\\'9al"));
}

TEST_F(SaveLog, AFileThatCannotBeWrittenIsReportedAndTheLogStays) {
    const QString file = path("missing/log.rtf");
    Form_txw->ComboBox_format->setCurrentIndex(2);
    Form_txw->appendblock("AB", u"AB", QString());
    fakeDialogs().files = {file};
    QTest::mouseClick(Form_txw->Button_save, Qt::LeftButton);
    ASSERT_EQ(fakeDialogs().errors.size(), 1);
    EXPECT_TRUE(fakeDialogs().errors[0].contains(file));
    EXPECT_TRUE(fakeDialogs().errors[0].contains("No such file or directory"))
        << fakeDialogs().errors[0].toStdString();
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(seam::plaintext(Form_txw->RichEdit_tx), "\nAB");
}

TEST_F(SaveLog, ARealReaderShowsEveryLineWithItsColourAndFont) {
    TForm_RX_TX *form = Form_RX_TX;
    for (QCheckBox *box : {form->CheckBox_rx, form->CheckBox_tx, form->CheckBox_hex,
                           form->CheckBox_stavy, form->CheckBox_adr})
        box->setChecked(true);
    form->addstate("Připojeno k {serveru} \\ 10.0.0.5");
    form->logdata(Direction::Received, "AB\r\x9E"s, "z: 10.0.0.5:5000 ", QString());
    form->logdata(Direction::Sent, "x\0"s, "na: COM3 ", QString());
    form->adderror("CHYBA: Nepovedlo se odeslat.");
    // Typed by the user: a character Windows-1250 does not have.
    QTest::keyClick(form->RichEdit_mix, Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(form->RichEdit_mix, Qt::Key_Return);
    seam::type(form->RichEdit_mix, QString::fromUtf8("\u03A9 ok"));

    const QString file = path("mix.rtf");
    fakeDialogs().files = {file};
    form->Button_saveClick();
    ASSERT_TRUE(fakeDialogs().errors.isEmpty()) << fakeDialogs().errors[0].toStdString();

    const QColor black(0, 0, 0), red(255, 0, 0), blue(0, 0, 255);
    const std::vector<ReadLine> expected = {
        {"Připojeno k {serveru} \\ 10.0.0.5", black, "MS Sans Serif"},
        {"Přijal data z: 10.0.0.5:5000 :", black, "MS Sans Serif"},
        {QString::fromUtf8("  AB<cr>ž"), red, "Courier"},
        {"  41 42 0D 9E", red, "Courier"},
        {"Odeslal data na: COM3 :", black, "MS Sans Serif"},
        {"  x<nul>", blue, "Courier"},
        {"  78 00", blue, "Courier"},
        {"CHYBA: Nepovedlo se odeslat.", black, "Courier"},
        {QString::fromUtf8("\u03A9 ok"), black, "Courier"},
    };
    const std::vector<ReadLine> read = readback(file);
    ASSERT_EQ(read.size(), expected.size());
    for (std::size_t i = 0; i < read.size(); ++i) {
        // unrtf runs of spaces come out as one.
        EXPECT_EQ(read[i].text.simplified(), expected[i].text.simplified()) << i;
        EXPECT_EQ(read[i].colour, expected[i].colour) << i;
        // unrtf names only fonts that change; the first font is the default.
        if (!read[i].font.isEmpty()) {
            EXPECT_EQ(read[i].font, expected[i].font) << i;
        }
    }
    EXPECT_EQ(read[2].font, "Courier");
}

TEST_F(SaveLog, DataWindowsSaveTheirLinesInTheirColour) {
    Form_rxw->ComboBox_format->setCurrentIndex(0);
    Form_rxw->appendblock("line one\r\nline two", QString(), QString());
    const QString file = path("rx.rtf");
    fakeDialogs().files = {file};
    Form_rxw->Button_SaveClick();
    const std::vector<ReadLine> read = readback(file);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].text, "line one");
    EXPECT_EQ(read[1].text, "line two");
    for (const ReadLine &line : read)
        EXPECT_EQ(line.colour, QColor(255, 0, 0));
}
