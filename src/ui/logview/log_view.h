#pragma once

#include "log_search.h"
#include "log_store.h"
#include "log_wrap.h"
#include "row_index.h"

#include <QAbstractScrollArea>
#include <QColor>

#include <limits>
#include <memory>
#include <string_view>
#include <vector>

class QMenu;

// How a line of a log looks: its colour and its font family. The size is the
// view's own.
struct LineStyle {
    QColor colour;
    QString font;
    bool operator==(const LineStyle &) const = default;
};

struct LogLine {
    QString text;
    LineStyle style;
    // When not empty, the line as its LogStore keeps it, in place of the
    // text: a writer that has the bytes need not make a text of them.
    std::string_view stored = {};
};

// The text view of the three logs: a list of coloured lines that only grows,
// until it is cleared. The text is kept compactly (see LogStore); rows are
// computed from the fonts' advance tables, never by laying lines out, and
// only the rows in view are laid out and painted, at most once per 16 ms.
// Adding a line costs the same however many lines the view already holds,
// and the displayed row count is exact after every change. The user may
// select, copy and type into it as well.
class LogView : public QAbstractScrollArea {
    Q_OBJECT
    Q_PROPERTY(QString plainText READ plaintext)
public:
    // The style is the view's default: its font (8 points) and the colour of
    // text that carries no colour of its own.
    LogView(const QString &name, const LineStyle &style, QWidget *parent = nullptr);
    ~LogView() override;

    // Adds a new last line; with a style, that style becomes the current one.
    void addline(QStringView text, const LineStyle &style);
    void addline(QStringView text);
    void addline(const QString &text, const LineStyle &style) { addline(QStringView(text), style); }
    void addline(const QString &text) { addline(QStringView(text)); }
    // Adds several lines, each in its style; the last style becomes the
    // current one.
    void addlines(const std::vector<LogLine> &lines);
    // Appends text in the current style to the last line (a new line when
    // the view holds none). A line grows without limit.
    void appendtext(QStringView text);
    void appendtext(const QString &text) { appendtext(QStringView(text)); }
    // The same, given as the log stores it (see LogStore).
    void appendstored(std::string_view stored);
    // The style of the lines written from now on.
    void setstyle(const LineStyle &style);
    const LineStyle &style() const { return styles_[currentindex_]; }
    const LineStyle &defaultstyle() const { return default_; }

    void clearlog();
    // True when the view holds no line at all (not even an empty one).
    bool empty() const { return store_.empty(); }
    bool lastlineempty() const;
    // The rows as displayed at the view's width: a wrapped line counts once
    // for each row.
    int rows() const;
    // The width rows are wrapped at.
    qreal wrapwidth() const;
    int rowheight() const { return rowheight_; }

    QString plaintext() const;
    // Writes the log as Rich Text Format, a piece at a time; throws
    // KrovanError naming the file and the reason when it cannot. The file is
    // replaced only when the new content has been written completely.
    void save(const QString &path) const;
    void scrolltoend();
    // Scrolls to the end with the next repaint: however many records come
    // in between, the scroll bar moves once.
    void followend();
    // The first row in view.
    int toprow() const;

    QString selectedtext() const;
    void selectall();
    void copy() const;
    // The menu the right mouse button opens: copy and select all.
    QMenu *contextmenu();

    // The search of the find bar, made on first use; the scroll bar marks
    // where its lines are.
    LogSearch &search();
    // Selects columns [from, to) of line n and scrolls the line into view.
    void selectrange(std::int64_t n, qsizetype from, qsizetype to);
    // Where the selection starts and ends (the cursor's end), as line and
    // column.
    std::pair<std::int64_t, qsizetype> selectionstart() const;
    std::pair<std::int64_t, qsizetype> selectionend() const;

    // What tests read, by name through the meta-object system.
    Q_INVOKABLE int lineCount() const { return static_cast<int>(store_.count()); }
    Q_INVOKABLE QString lineText(int n) const;
    Q_INVOKABLE QColor lineColour(int n) const;
    Q_INVOKABLE QString lineFont(int n) const;
    Q_INVOKABLE int displayedRows() const { return rows(); }

    // Where the views made from now on keep their text, one spool file each
    // (see LogSpool); empty: in memory.
    static QString spoolfolder;
    // The view's spool file, or empty while its text is in memory.
    QString spoolpath() const { return store_.spooling() ? store_.spoolpath() : QString(); }

signals:
    // After every change of the text.
    void changed();
    // At each coalesced repaint, at most once per 16 ms: what shows beside
    // the log (its line count) can repaint in the same pass.
    void repainting();
    // The text goes on in memory: the spool file could not be made or
    // written, for the reason given. Emitted from the event loop.
    void spoolfailed(const QString &reason);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    bool event(QEvent *event) override;

private:
    static constexpr int pointsize = 8;
    // The space between the text and the view's left and right edges.
    static constexpr int margin = 3;
    // A line longer than this keeps its row starts from the moment it is
    // written.
    static constexpr qsizetype longline = 4096;
    // Stored bytes that may stand for a long line: a hexadecimal run's byte
    // is three characters.
    static constexpr std::size_t longstored = longline / 3;
    friend class PaintClock;
    struct Place {
        std::int64_t line = 0;
        qsizetype column = 0;
        auto operator<=>(const Place &) const = default;
    };

    std::uint8_t styleindex(const LineStyle &style);
    const FontAdvances &fontof(std::int64_t line) const;
    void putline(QStringView text, std::uint8_t style);
    void putstored(std::string_view stored, std::uint8_t style);
    void restartlast();
    void tellspoolfailure();
    bool fitwidth() const;
    void recount();
    // Something changed from the given row on (the whole text by default).
    void touched(std::int64_t fromrow = 0);
    void flush();
    void updatescrollbar();
    void paintmarks(QPainter &painter, const QRect &groove) const;
    // One row of a line on the screen: its text from `from` to `to`, and
    // whether it is the line's last row (the cursor may stand at its end).
    struct Row {
        std::int64_t line;
        const QString &text;
        qsizetype from, to;
        bool last;
    };
    void paintrow(QPainter &painter, const Row &row, int y) const;

    std::vector<qsizetype> startsof(std::int64_t line, const QString &text) const;
    bool startsknown(std::int64_t line) const;
    void keepstarts(std::int64_t line, std::vector<qsizetype> starts) const;
    Place placeat(const QPoint &point) const;
    qsizetype columnat(std::int64_t line, const QString &text, qsizetype rowstart, qsizetype rowend,
                       qreal x) const;
    std::int64_t rowof(const Place &place) const;
    Place placeofrow(std::int64_t row, qreal x) const;
    qreal xof(const Place &place) const;
    void movecursor(const Place &place, bool select);
    // A key of its kind handled; whether it was one.
    bool movebykey(int key, bool select, bool control);
    bool editbykey(int key);
    void showcursor();
    void edit(const Place &from, const Place &to, const QString &text);
    void clampplaces();

    LineStyle default_;
    std::uint8_t currentindex_ = 0;
    std::vector<LineStyle> styles_;
    std::vector<std::unique_ptr<FontAdvances>> fonts_;
    int rowheight_ = 1;
    int ascent_ = 0;

    LogStore store_;
    RowIndex index_;
    WrapState last_;
    qreal width_ = -1;
    // The row starts of the last line that needed them, with what they hold
    // for: a line of megabytes is not wrapped again at every repaint.
    struct KnownStarts {
        std::int64_t line = -1;
        LogStore::Extent where;
        qreal width = -1;
        std::vector<qsizetype> starts;
    };
    mutable KnownStarts known_;

    Place cursor_;
    Place anchor_;
    bool focused_ = false;
    bool flushing_ = false;
    // Rows scrolled since the last repaint, not yet moved on the screen.
    int scrolled_ = 0;
    // The first row changed since the last repaint, or unchanged.
    static constexpr std::int64_t unchanged = std::numeric_limits<std::int64_t>::max();
    std::int64_t dirtyrow_ = unchanged;
    bool follow_ = false;
    // After the store: it reads the store until it is gone.
    std::unique_ptr<LogSearch> search_;
};

// The local time of an entry made at `msecs` since the epoch as a log
// writes it, hours without a leading zero: 9:05:07; without `msecs`, now.
QString timetext(qint64 msecs);
QString timetext();
// Whether timetext gives the milliseconds too ("14:03:07.125").
extern bool showmilliseconds;
