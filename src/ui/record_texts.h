#pragma once

// The texts the log windows show of a record's bytes, made once per entry
// however many windows show it: converting a block of megabytes is the
// larger part of logging it.

#include "log_entry.h"

#include <QString>
#include <QStringView>

#include <string>

struct RecordTexts {
    // Made from the bytes alone, hex text only when asked for.
    RecordTexts(const std::string &bytes, bool withhex);

    // The texts of a session's record, kept for the next sink that asks of
    // the same entry; the hex text is added when a later one wants it.
    static const RecordTexts &of(const LogEntry &entry, bool withhex);

    // The printable text indented by two spaces and the hex text by one,
    // as "Stavy a data" writes them, in the form its log keeps them (see
    // LogStore): made from the bytes without a text between. The hex line
    // is empty when not made.
    std::string printablestored;
    std::string hexstored;
    // The same texts without their indent, as the data windows take them,
    // made on first use.
    QStringView printable() const;
    QStringView hex() const;

private:
    RecordTexts() = default;
    mutable QString printable_, hex_;
};
