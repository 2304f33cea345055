#pragma once

#include <QColor>
#include <QPlainTextEdit>
#include <QTimer>

#include <vector>

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
};

// The text view of the three logs: a list of coloured lines that only grows,
// until it is cleared. Adding a line costs the same however many lines the
// view already holds, and the displayed row count is kept as lines come.
// The user may type into it as well.
class LogView : public QPlainTextEdit {
    Q_OBJECT
public:
    // The style is the view's default: its font (8 points) and the colour of
    // text that carries no colour of its own.
    LogView(const QString &name, const LineStyle &style, QWidget *parent = nullptr);

    // Adds a new last line; with a style, that style becomes the current one.
    void addline(const QString &text, const LineStyle &style);
    void addline(const QString &text);
    // Adds several lines in one edit, each in its style; the last style
    // becomes the current one.
    void addlines(const std::vector<LogLine> &lines);
    // Appends text in the current style to the last line (a new line when
    // the view holds none).
    void appendtext(const QString &text);
    // The style of the lines written from now on.
    void setstyle(const LineStyle &style);
    const LineStyle &style() const { return current_; }
    const LineStyle &defaultstyle() const { return default_; }

    void clearlog();
    // True when the view holds no line at all (not even an empty one).
    bool empty() const;
    bool lastlineempty() const;
    // The rows as displayed: a wrapped line counts once for each row. After
    // a change of width the rows are counted again in the background; until
    // that ends the count is provisional.
    int rows() const;
    bool recounting() const { return recountnext_ >= 0; }

    // The lines with the style each begins with; a walk over the whole log.
    std::vector<LogLine> lines() const;
    QString plaintext() const;
    // Writes the log as Rich Text Format; throws KrovanError naming the file
    // and the reason when it cannot. The file is replaced only when the new
    // content has been written completely.
    void save(const QString &path) const;
    void scrolltoend();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void insertline(const QString &text, bool continued);
    void putline(class QTextCursor &cursor, const QString &text, bool continued);
    void layoutlast(int count);
    void recountslice();
    LineStyle styleof(const class QTextCharFormat &format) const;

    LineStyle default_;
    LineStyle current_;
    bool empty_ = true;
    int width_ = -1;
    int recountnext_ = -1;
    QTimer recounter_;
};

// The local time as a log writes it, hours without a leading zero: 9:05:07.
QString timetext();
