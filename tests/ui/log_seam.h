#pragma once

// Reads a log the way any test may: through the methods and the property the
// view offers by name to Qt's meta-object system, not through its C++ class.

#include "log_view.h"

#include <QApplication>
#include <QColor>
#include <QKeyEvent>
#include <QMetaObject>
#include <QObject>
#include <QStringList>
#include <QVariant>

#include <vector>

namespace seam {

inline int linecount(QObject *view) {
    int count = -1;
    QMetaObject::invokeMethod(view, "lineCount", Qt::DirectConnection, Q_RETURN_ARG(int, count));
    return count;
}

inline QString linetext(QObject *view, int n) {
    QString text;
    QMetaObject::invokeMethod(view, "lineText", Qt::DirectConnection, Q_RETURN_ARG(QString, text),
                              Q_ARG(int, n));
    return text;
}

inline QColor linecolour(QObject *view, int n) {
    QColor colour;
    QMetaObject::invokeMethod(view, "lineColour", Qt::DirectConnection,
                              Q_RETURN_ARG(QColor, colour), Q_ARG(int, n));
    return colour;
}

inline QString linefont(QObject *view, int n) {
    QString font;
    QMetaObject::invokeMethod(view, "lineFont", Qt::DirectConnection, Q_RETURN_ARG(QString, font),
                              Q_ARG(int, n));
    return font;
}

inline int displayedrows(QObject *view) {
    int rows = -1;
    QMetaObject::invokeMethod(view, "displayedRows", Qt::DirectConnection, Q_RETURN_ARG(int, rows));
    return rows;
}

inline QString plaintext(QObject *view) {
    return view->property("plainText").toString();
}

inline QStringList texts(QObject *view) {
    QStringList result;
    const int count = linecount(view);
    for (int n = 0; n < count; ++n)
        result << linetext(view, n);
    return result;
}

// Every line with its text, colour and font.
inline std::vector<LogLine> lines(QObject *view) {
    std::vector<LogLine> result;
    const int count = linecount(view);
    for (int n = 0; n < count; ++n)
        result.push_back({linetext(view, n), LineStyle{linecolour(view, n), linefont(view, n)}});
    return result;
}

// Types text as a keyboard would, any character (QTest's key clicks carry
// Latin-1 only).
inline void type(QWidget *widget, const QString &text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

} // namespace seam
