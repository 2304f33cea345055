#include "log_view.h"

#include "errors.h"
#include "rtf_writer.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QSaveFile>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTime>

namespace {

constexpr int pointsize = 8;

// Qt lays a block out again on every change to it, so a line that keeps
// growing (the running formats of the data windows) would cost more with
// every append. Past this length the line goes on in a further block,
// marked as a continuation; it still reads and saves as one line.
constexpr int maxblocklength = 1024;
constexpr int continuedline = 1;

// How long one background step of the row recount may hold the event loop.
constexpr int recountslicems = 10;

QTextCharFormat charformat(const LineStyle &style) {
    QTextCharFormat format;
    format.setForeground(style.colour);
    format.setFontFamilies(QStringList{style.font});
    return format;
}

std::u16string utf16(const QString &text) {
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

bool writeall(QSaveFile &file, const std::string &bytes) {
    const auto size = static_cast<qint64>(bytes.size());
    return file.write(bytes.data(), size) == size;
}

// The font and colour tables of a saved log, and each format's place in them.
class RtfTables {
public:
    std::vector<std::u16string> fonts;
    std::vector<RtfColour> colours;

    std::pair<std::size_t, std::size_t> add(const LineStyle &style) {
        return {index(fonts, utf16(style.font)),
                index(colours, RtfColour{static_cast<unsigned char>(style.colour.red()),
                                         static_cast<unsigned char>(style.colour.green()),
                                         static_cast<unsigned char>(style.colour.blue())})};
    }

private:
    template <class T> static std::size_t index(std::vector<T> &table, const T &entry) {
        for (std::size_t i = 0; i < table.size(); ++i) {
            if (table[i] == entry)
                return i;
        }
        table.push_back(entry);
        return table.size() - 1;
    }
};

} // namespace

QString timetext() {
    return QTime::currentTime().toString("h:mm:ss");
}

LogView::LogView(const QString &name, const LineStyle &style, QWidget *parent)
    : QPlainTextEdit(parent), default_(style), current_(style) {
    setObjectName(name);
    setFont(QFont(style.font, pointsize));
    QPalette colours = palette();
    colours.setColor(QPalette::Text, style.colour);
    setPalette(colours);
    setCurrentCharFormat(charformat(style));
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A log is never undone; an undo history would double its memory.
    document()->setUndoRedoEnabled(false);
    recounter_.setSingleShot(true);
    recounter_.setInterval(0);
    connect(&recounter_, &QTimer::timeout, this, [this] { recountslice(); });
}

void LogView::setstyle(const LineStyle &style) {
    current_ = style;
}

bool LogView::empty() const {
    return empty_ && document()->isEmpty();
}

bool LogView::lastlineempty() const {
    return document()->lastBlock().length() <= 1;
}

void LogView::insertline(const QString &text, bool continued) {
    QTextCursor cursor(document());
    // Inside an edit block the cursor does not lay out the block it stands
    // in, which would cost a whole layout of the last line per write.
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    putline(cursor, text, continued);
    cursor.endEditBlock();
    layoutlast(1);
}

// Adds a line at the cursor, which stands at the end, in the current style.
void LogView::putline(QTextCursor &cursor, const QString &text, bool continued) {
    const QTextCharFormat format = charformat(current_);
    if (empty())
        cursor.setBlockCharFormat(format);
    else
        cursor.insertBlock(QTextBlockFormat(), format);
    cursor.block().setUserState(continued ? continuedline : -1);
    cursor.insertText(text, format);
    empty_ = false;
}

// Qt usually lays new last blocks out at once; making sure of it keeps the
// document's line count, the sum of the blocks' rows, exact.
void LogView::layoutlast(int count) {
    QTextBlock block = document()->lastBlock();
    for (int i = 0; i < count && block.isValid(); ++i, block = block.previous())
        document()->documentLayout()->blockBoundingRect(block);
}

void LogView::addlines(const std::vector<LogLine> &lines) {
    // One edit for the whole record: the view recomputes its size and
    // scroll range once, not once per line.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    for (const LogLine &line : lines) {
        current_ = line.style;
        putline(cursor, line.text, false);
    }
    cursor.endEditBlock();
    layoutlast(static_cast<int>(lines.size()));
}

void LogView::addline(const QString &text, const LineStyle &style) {
    current_ = style;
    insertline(text, false);
}

void LogView::addline(const QString &text) {
    insertline(text, false);
}

void LogView::appendtext(const QString &text) {
    if (empty()) {
        insertline(text, false);
        return;
    }
    if (text.isEmpty())
        return;
    if (document()->lastBlock().length() > maxblocklength) {
        insertline(text, true);
        return;
    }
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text, charformat(current_));
    cursor.endEditBlock();
}

void LogView::clearlog() {
    recounter_.stop();
    recountnext_ = -1;
    clear();
    empty_ = true;
}

int LogView::rows() const {
    return empty() ? 0 : document()->lineCount();
}

void LogView::resizeEvent(QResizeEvent *event) {
    QPlainTextEdit::resizeEvent(event);
    if (viewport()->width() == width_)
        return;
    // Qt has dropped every block's layout and counts each as one row until
    // it is laid out again; lay them all out, a slice at a time.
    width_ = viewport()->width();
    recountnext_ = 0;
    recounter_.start();
}

void LogView::recountslice() {
    QElapsedTimer clock;
    clock.start();
    QAbstractTextDocumentLayout *layout = document()->documentLayout();
    QTextBlock block = document()->findBlockByNumber(recountnext_);
    while (block.isValid() && clock.elapsed() < recountslicems) {
        for (int i = 0; i < 64 && block.isValid(); ++i) {
            layout->blockBoundingRect(block);
            block = block.next();
            ++recountnext_;
        }
    }
    if (block.isValid())
        recounter_.start();
    else
        recountnext_ = -1;
}

void LogView::scrolltoend() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

LineStyle LogView::styleof(const QTextCharFormat &format) const {
    LineStyle style = default_;
    if (format.hasProperty(QTextFormat::ForegroundBrush))
        style.colour = format.foreground().color();
    const QStringList families = format.fontFamilies().toStringList();
    if (!families.isEmpty())
        style.font = families.first();
    return style;
}

std::vector<LogLine> LogView::lines() const {
    std::vector<LogLine> result;
    if (empty())
        return result;
    for (QTextBlock block = document()->firstBlock(); block.isValid(); block = block.next()) {
        if (block.userState() == continuedline && !result.empty()) {
            result.back().text += block.text();
            continue;
        }
        const QTextBlock::iterator first = block.begin();
        const QTextCharFormat format =
            first.atEnd() ? block.charFormat() : first.fragment().charFormat();
        result.push_back({block.text(), styleof(format)});
    }
    return result;
}

QString LogView::plaintext() const {
    QStringList texts;
    for (const LogLine &line : lines())
        texts << line.text;
    return texts.join('\n');
}

void LogView::save(const QString &path) const {
    // Every format the document knows, with its place in the tables.
    RtfTables tables;
    const QList<QTextFormat> formats = document()->allFormats();
    std::vector<std::pair<std::size_t, std::size_t>> places;
    places.reserve(formats.size());
    for (const QTextFormat &format : formats)
        places.push_back(tables.add(styleof(format.toCharFormat())));

    QSaveFile file(path);
    const auto fail = [&] {
        throw KrovanError(
            QString("Cannot create file \"%1\". %2").arg(path, file.errorString()).toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    RtfWriter rtf(tables.fonts, tables.colours, font().pointSize());
    // A continuation block goes on in the paragraph of the line it continues.
    const QTextBlock first = document()->firstBlock();
    for (QTextBlock block = first; block.isValid() && !empty(); block = block.next()) {
        if (block != first && block.userState() != continuedline)
            rtf.endline();
        for (QTextBlock::iterator it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const auto [fontplace, colourplace] = places[fragment.charFormatIndex()];
            rtf.text(utf16(fragment.text()), fontplace, colourplace);
        }
        if (rtf.pending() >= (1 << 16) && !writeall(file, rtf.take()))
            fail();
    }
    if (!empty())
        rtf.endline();
    rtf.finish();
    if (!writeall(file, rtf.take()) || !file.commit())
        fail();
}
