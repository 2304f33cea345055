#include "errors.h"
#include "log_view.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

const LineStyle black{QColor(0, 0, 0), "MS Sans Serif"};
const LineStyle red{QColor(255, 0, 0), "Courier"};
const LineStyle blue{QColor(0, 0, 255), "Courier"};

QStringList texts(const LogView &view) {
    QStringList result;
    for (const LogLine &line : view.lines())
        result << line.text;
    return result;
}

// The rows Qt itself shows: every block laid out at the view's width.
int displayedrows(LogView &view) {
    int rows = 0;
    QTextDocument *document = view.document();
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next()) {
        document->documentLayout()->blockBoundingRect(block);
        rows += block.layout()->lineCount();
    }
    return rows;
}

// A line of words several times wider than the view.
QString longline(int words) {
    return QString("slovo ").repeated(words).trimmed();
}

class LogViewTest : public ::testing::Test {
protected:
    std::unique_ptr<LogView> view = std::make_unique<LogView>("RichEdit_mix", black);

    void show(int width) {
        view->resize(width, 200);
        view->show();
        QApplication::processEvents();
        waitrecount();
    }

    void waitrecount() {
        QElapsedTimer clock;
        clock.start();
        while (view->recounting() && clock.elapsed() < 10000)
            QApplication::processEvents();
        ASSERT_FALSE(view->recounting());
    }
};

} // namespace

TEST_F(LogViewTest, IsNamedAndStyledAsItsWindowAsks) {
    EXPECT_EQ(view->objectName(), "RichEdit_mix");
    EXPECT_EQ(view->font().family(), "MS Sans Serif");
    EXPECT_EQ(view->font().pointSize(), 8);
    EXPECT_EQ(view->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(view->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(view->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_FALSE(view->isReadOnly());
    EXPECT_FALSE(view->document()->isUndoRedoEnabled());
}

TEST_F(LogViewTest, LinesKeepTheirOwnTextColourAndFont) {
    view->addline("Přijal data :", black);
    view->addline("  AB<cr>", red);
    view->addline("  41 42 0D"); // the current style goes on
    view->addline("Odeslal data :", black);
    view->addline("  x", blue);
    const std::vector<LogLine> lines = view->lines();
    ASSERT_EQ(lines.size(), 5u);
    const LineStyle expected[] = {black, red, red, black, blue};
    for (std::size_t i = 0; i < lines.size(); ++i)
        EXPECT_EQ(lines[i].style, expected[i]) << i;
    EXPECT_EQ(texts(*view),
              QStringList({"Přijal data :", "  AB<cr>", "  41 42 0D", "Odeslal data :", "  x"}));
    EXPECT_EQ(view->style(), blue);
    EXPECT_EQ(view->plaintext(), "Přijal data :\n  AB<cr>\n  41 42 0D\nOdeslal data :\n  x");

    // What the user sees is the document's own formats.
    QTextBlock second = view->document()->firstBlock().next();
    const QTextCharFormat format = second.begin().fragment().charFormat();
    EXPECT_EQ(format.foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(format.fontFamilies().toStringList(), QStringList{"Courier"});
}

TEST_F(LogViewTest, AnEmptyViewDiffersFromOneEmptyLine) {
    EXPECT_TRUE(view->empty());
    EXPECT_EQ(view->rows(), 0);
    EXPECT_TRUE(view->lines().empty());

    view->addline(QString());
    EXPECT_FALSE(view->empty());
    EXPECT_TRUE(view->lastlineempty());
    EXPECT_EQ(texts(*view), QStringList{""});
    EXPECT_EQ(view->rows(), 1);

    view->appendtext("abc");
    view->appendtext("def");
    EXPECT_FALSE(view->lastlineempty());
    EXPECT_EQ(texts(*view), QStringList{"abcdef"});

    view->clearlog();
    EXPECT_TRUE(view->empty());
    EXPECT_EQ(view->rows(), 0);
    // Appending to a view without lines starts the first one.
    view->appendtext("x");
    EXPECT_EQ(texts(*view), QStringList{"x"});
}

TEST_F(LogViewTest, RowsCountEveryRowOfAWrappedLine) {
    show(300);
    view->addline("short", black);
    EXPECT_EQ(view->rows(), 1);
    view->addline(longline(60), red);
    const int rows = view->rows();
    EXPECT_GE(rows, 4);
    EXPECT_EQ(rows, displayedrows(*view));
    view->addline("short again");
    EXPECT_EQ(view->rows(), rows + 1);
}

TEST_F(LogViewTest, RowsOfAHiddenViewAreCountedToo) {
    show(300);
    view->hide();
    view->addline(longline(60), red);
    view->addline("x");
    const int rows = view->rows();
    EXPECT_GE(rows, 5);
    EXPECT_EQ(rows, displayedrows(*view));
}

TEST_F(LogViewTest, RowsAreRecountedWhenTheWidthChanges) {
    show(600);
    for (int i = 0; i < 300; ++i)
        view->addline(longline(20), i % 2 ? red : black);
    const int wide = view->rows();
    EXPECT_EQ(wide, displayedrows(*view));

    view->resize(250, 200);
    QApplication::processEvents();
    waitrecount();
    const int narrow = view->rows();
    EXPECT_GT(narrow, wide);
    EXPECT_EQ(narrow, displayedrows(*view));

    // Lines added while a recount runs are counted as well.
    view->resize(600, 200);
    QApplication::processEvents();
    view->addline(longline(20));
    waitrecount();
    const int widened = view->rows();
    EXPECT_LT(widened, narrow);
    EXPECT_EQ(widened, displayedrows(*view));
}

TEST_F(LogViewTest, ALongRunningLineStaysOneLineInShortBlocks) {
    view->addline(QString());
    QString expected;
    for (int i = 0; i < 200; ++i) {
        const QString piece = QString(" %1 %2 0D").arg(i % 100, 2, 10, QChar('0')).arg(i % 7);
        view->appendtext(piece);
        expected += piece;
    }
    ASSERT_EQ(view->lines().size(), 1u);
    EXPECT_EQ(view->lines()[0].text, expected);
    EXPECT_EQ(view->lines()[0].style, black);
    // Qt relays a block out on every change: no block grows without bound.
    EXPECT_GT(view->document()->blockCount(), 1);
    for (QTextBlock b = view->document()->firstBlock(); b.isValid(); b = b.next())
        EXPECT_LE(b.length(), 1100);

    // A new line after it is a line of its own again.
    view->addline("next");
    view->appendtext(" more");
    EXPECT_EQ(texts(*view), QStringList({expected, "next more"}));
}

TEST_F(LogViewTest, EnterTypedIntoALongLineBreaksItForReal) {
    show(400);
    view->addline(QString());
    for (int i = 0; i < 150; ++i)
        view->appendtext(" 41 42 43 44");
    const QString whole = view->lines()[0].text;
    ASSERT_GT(view->document()->blockCount(), 1);

    // The cursor goes into the second block, a few characters in.
    QTextCursor cursor(view->document()->firstBlock().next());
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    view->setTextCursor(cursor);
    QTest::keyClick(view->viewport(), Qt::Key_Return);
    QTest::keyClick(view->viewport(), Qt::Key_Return);

    const QStringList lines = texts(*view);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0] + lines[1] + lines[2], whole);
    EXPECT_EQ(lines[1], "");
}

TEST_F(LogViewTest, ViewScrollsToTheNewestLineWhenAsked) {
    show(300);
    for (int i = 0; i < 200; ++i)
        view->addline(QString("line %1").arg(i), black);
    view->scrolltoend();
    QScrollBar *bar = view->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    QTextCursor end(view->document());
    end.movePosition(QTextCursor::End);
    const QRect shown = view->cursorRect(end);
    EXPECT_LE(shown.bottom(), view->viewport()->height());
    EXPECT_GE(shown.top(), 0);
}

TEST_F(LogViewTest, SavingToAMissingFolderNamesTheFileAndTheReason) {
    view->addline("keep me", black);
    QTemporaryDir dir;
    const QString path = dir.filePath("missing/log.rtf");
    try {
        view->save(path);
        FAIL() << "saving into a missing folder succeeded";
    } catch (const KrovanError &error) {
        const QString message = QString::fromUtf8(error.what());
        EXPECT_TRUE(message.startsWith("Cannot create file \"" + path + "\". ")) << error.what();
        EXPECT_GT(message.size(), path.size() + 24) << "no reason given";
    }
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(texts(*view), QStringList{"keep me"});
}

TEST_F(LogViewTest, SavedFileHoldsEveryLineWithItsStyle) {
    view->addline("Stav", black);
    view->addline("  data {x}", red);
    view->addline(QString());
    QTemporaryDir dir;
    const QString path = dir.filePath("log.rtf");
    view->save(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray rtf = file.readAll();
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1250"));
    EXPECT_TRUE(rtf.contains("MS Sans Serif;}"));
    EXPECT_TRUE(rtf.contains("Courier;}"));
    EXPECT_TRUE(rtf.contains("\\red255\\green0\\blue0;"));
    EXPECT_TRUE(rtf.contains("\\fs16 "));
    EXPECT_TRUE(rtf.contains("Stav\\par"));
    EXPECT_TRUE(rtf.contains("  data \\{x\\}\\par\r\n\\par\r\n}"));
    EXPECT_EQ(rtf.count("\\par\r\n"), 3);
}

TEST(LogTime, HoursWithoutLeadingZeroMinutesAndSecondsWithTwoDigits) {
    const QRegularExpression pattern("^(1?[0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9]$");
    const QString text = timetext();
    EXPECT_TRUE(pattern.match(text).hasMatch()) << text.toStdString();
}
