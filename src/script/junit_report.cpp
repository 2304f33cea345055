#include "junit_report.h"

#include "errors.h"
#include "safe_file.h"
#include "script_run.h"

#include <QFile>
#include <QXmlStreamWriter>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace {

[[noreturn]] void failwith(const QString &path, int error) {
    throw KrovanError((path + ": " + QString::fromLocal8Bit(std::strerror(error))).toStdString());
}

// Writes the bytes to the file itself, so that a failure is told in the
// system's own words for that path.
void writefile(const QString &path, const QByteArray &bytes) {
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        failwith(path, errno);
    if (!writeall(fd, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())))) {
        const int error = errno;
        ::close(fd);
        failwith(path, error);
    }
    if (::close(fd) != 0)
        failwith(path, errno);
}

} // namespace

void writejunitreport(const QString &path, const ScriptRun &run) {
    const bool errored = !run.error().isEmpty();
    QByteArray bytes;
    QXmlStreamWriter xml(&bytes);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement("testsuite");
    xml.writeAttribute("name", run.name());
    xml.writeAttribute("tests", QString::number(run.checks().size() + (errored ? 1 : 0)));
    xml.writeAttribute("failures", QString::number(run.failedchecks()));
    xml.writeAttribute("errors", errored ? "1" : "0");
    xml.writeAttribute("time", QString::number(run.seconds(), 'f', 3));
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
    writefile(path, bytes);
}
