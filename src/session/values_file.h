#pragma once

// Points written as CSV lines "time,series,value" (the time as the capture
// writes it, ISO 8601 with milliseconds and the UTC offset), to a file
// (appending) or to standard output, a header line first. Lines wait in a
// buffer and are written at least every flushms milliseconds, so a reader
// sees each point within a second.

#include "value_points.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <string>

class ValuesFile : public QObject {
    Q_OBJECT
public:
    static constexpr int flushms = 200;

    // "-" is standard output. Throws KrovanError when the file cannot be
    // opened.
    explicit ValuesFile(const QString &path);
    ~ValuesFile() override;

    void add(const ValuePoint &point);
    // Writes what waits; a failure is reported once through `failed`.
    void flush();

signals:
    void failed(const QString &message);

private:
    QString path_;
    int fd_ = -1;
    bool own_ = false;
    bool broken_ = false;
    std::string pending_;
    QTimer timer_;
};

// One CSV field: as it stands, or quoted with its quotes doubled where it
// holds a comma, a quote or a line end.
std::string csvfield(const std::string &text);
