#pragma once

#include <QString>

#include <exception>

// Runs an operation so that no exception crosses Qt's event loop: a
// failure's message (UTF-8) goes to `report`, and the caller goes on. Every
// entry point that can fail (a slot, a timer) runs through it; each
// front-end says how a message is shown (an error box, a line on standard
// error).
template <class Report, class Operation> void guardwith(Report &&report, Operation &&operation) {
    try {
        operation();
    } catch (const std::exception &e) {
        report(QString::fromUtf8(e.what()));
    } catch (...) {
        report(QStringLiteral("Unknown error"));
    }
}
