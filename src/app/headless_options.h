#pragma once

// The command line of a headless run, parsed GNU style ("--name value" or
// "--name=value"); a bad one is a UsageError whose text says why.

#include "link_kind.h"

#include <QString>
#include <QStringList>

#include <optional>
#include <stdexcept>
#include <vector>

// The help text of --help and of a bad command line.
extern const char *const headlessusage;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct HeadlessOptions {
    QString setupfile;
    std::optional<LinkKind> link;
    // --port as given: "COM" and a number, or a device path.
    QString port;
    std::vector<int> sends;
    std::vector<int> repeats;
    QString capture = "-";
    // Where the values taken from received blocks go as CSV ("-": standard
    // output; empty: nowhere).
    QString values;
    std::optional<double> duration;
    bool reconnect = false;
    // A test script run once the link is open, and where its JUnit report
    // goes (empty: none).
    QString script;
    QString report;
};

// The arguments after the program's name; throws UsageError.
HeadlessOptions parseheadless(const QStringList &arguments);

// Seconds: a finite decimal number of 0 or more; throws UsageError.
double durationseconds(const QString &text);

// The serial port --port names: a COM number, or a device path that then
// stands for the number 0. Throws UsageError when there is none.
struct SerialPortChoice {
    int number = 0;
    QString device;
};
SerialPortChoice serialport(const QString &port);
