#include "junit_report.h"

#include "errors.h"
#include "script_run.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

void writejunitreport(const QString &path, const ScriptRun &run) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw KrovanError((path + ": " + file.errorString()).toStdString());
    const bool errored = !run.error().isEmpty();
    double total = 0;
    for (const ScriptRun::Check &check : run.checks())
        total += check.seconds;

    QXmlStreamWriter xml(&file);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", run.name());
    xml.writeAttribute("tests", QString::number(run.checks().size() + (errored ? 1 : 0)));
    xml.writeAttribute("failures", QString::number(run.failedchecks()));
    xml.writeAttribute("errors", errored ? "1" : "0");
    xml.writeAttribute("time", QString::number(total, 'f', 3));
    for (const ScriptRun::Check &check : run.checks()) {
        xml.writeStartElement("testcase");
        xml.writeAttribute("name", check.name);
        xml.writeAttribute("classname", run.name());
        xml.writeAttribute("time", QString::number(check.seconds, 'f', 3));
        if (!check.passed) {
            xml.writeStartElement("failure");
            xml.writeAttribute("message", check.message);
            xml.writeCharacters(check.message);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    if (errored) {
        xml.writeStartElement("testcase");
        xml.writeAttribute("name", run.name());
        xml.writeAttribute("classname", run.name());
        xml.writeAttribute("time", "0");
        xml.writeStartElement("error");
        xml.writeAttribute("message", run.error());
        xml.writeCharacters(run.error());
        xml.writeEndElement();
        xml.writeEndElement();
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    if (xml.hasError() || !file.commit())
        throw KrovanError((path + ": " + file.errorString()).toStdString());
}
