#include "capture_line.h"

#include "block_text.h"
#include "codec.h"
#include "cp1250.h"
#include "utf8.h"

#include <QChar>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

namespace {

// Appends a text as UTF-8 (a lone surrogate becomes U+FFFD). A tab or a
// line end inside a field would split the line: each becomes a blank.
void appendfield(std::string &line, std::u16string_view text) {
    const std::size_t at = line.size();
    // Three bytes a unit at most: a pair of surrogates (two units) takes four.
    line.resize(at + text.size() * 3);
    char *out = line.data() + at;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c == '\t' || c == '\n' || c == '\r') {
            c = ' ';
        } else if (c >= 0xD800 && c < 0xE000) {
            const bool pair =
                c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
            c = pair ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00) : 0xFFFD;
        }
        out = pututf8(out, c);
    }
    line.resize(static_cast<std::size_t>(out - line.data()));
}

std::u16string_view view(const QString &text) {
    return {reinterpret_cast<const char16_t *>(text.constData()),
            static_cast<std::size_t>(text.size())};
}

const char *kindname(const CaptureEntry &entry) {
    switch (entry.kind) {
    case LogEntry::Kind::Record:
        return entry.direction == Direction::Received ? "RX" : "TX";
    case LogEntry::Kind::State:
        return "STATE";
    case LogEntry::Kind::Error:
        return "ERROR";
    }
    return "";
}

// The printable text of every byte in UTF-8, as the logs write it: control
// bytes by their names, the others through Windows-1250. Each fits eight
// chars, so a block's text is made with fixed-size copies.
struct Printable {
    std::array<char, 8> text{};
    std::size_t size = 0;
};

const std::array<Printable, 256> &printablebytes() {
    static const std::array<Printable, 256> table = [] {
        std::array<Printable, 256> texts;
        for (int value = 0; value < 256; ++value) {
            const auto byte = static_cast<unsigned char>(value);
            std::string text = value < static_cast<int>(ctrlnames.size())
                                   ? "<" + std::string(ctrlnames[byte]) + ">"
                                   : QString(QChar(cp1250ToUnicode(byte))).toStdString();
            for (char &c : text)
                if (c == '\t' || c == '\n' || c == '\r')
                    c = ' ';
            texts[byte].size = std::min(text.size(), texts[byte].text.size());
            std::copy_n(text.begin(), texts[byte].size, texts[byte].text.begin());
        }
        return texts;
    }();
    return table;
}

void appendprintable(std::string &line, std::string_view bytes) {
    const std::array<Printable, 256> &texts = printablebytes();
    const std::size_t at = line.size();
    line.resize(at + bytes.size() * sizeof(Printable::text));
    char *out = line.data() + at;
    for (const char byte : bytes) {
        const Printable &text = texts[static_cast<unsigned char>(byte)];
        std::memcpy(out, text.text.data(), sizeof text.text);
        out += text.size;
    }
    line.resize(static_cast<std::size_t>(out - line.data()));
}

void appendtime(std::string &line, qint64 msecs) {
    // The text of the second is made once a second; the milliseconds change.
    static thread_local qint64 second = std::numeric_limits<qint64>::min();
    static thread_local std::string prefix, offset;
    const qint64 now = msecs >= 0 ? msecs / 1000 : (msecs - 999) / 1000;
    if (now != second) {
        second = now;
        const std::time_t t = static_cast<std::time_t>(now);
        std::tm local{};
        ::localtime_r(&t, &local);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
        prefix = text;
        const long east = local.tm_gmtoff;
        const long minutes = (east < 0 ? -east : east) / 60;
        std::snprintf(text, sizeof text, "%c%02ld:%02ld", east < 0 ? '-' : '+', minutes / 60,
                      minutes % 60);
        offset = text;
    }
    const int millis = static_cast<int>(msecs - now * 1000);
    line += prefix;
    line += '.';
    line += static_cast<char>('0' + millis / 100);
    line += static_cast<char>('0' + millis / 10 % 10);
    line += static_cast<char>('0' + millis % 10);
    line += offset;
}

} // namespace

std::string capturetime(qint64 msecs) {
    std::string time;
    appendtime(time, msecs);
    return time;
}

void appendcaptureline(std::string &line, const CaptureEntry &entry) {
    appendtime(line, entry.time);
    line += '\t';
    line += kindname(entry);
    line += '\t';
    if (entry.kind != LogEntry::Kind::Record) {
        line += "\t\t";
        appendfield(line, entry.text);
        line += "\t\n";
        return;
    }
    appendfield(line, entry.address);
    line += '\t';
    appendfield(line, entry.macros);
    line += '\t';
    appendprintable(line, entry.bytes);
    line += '\t';
    if (!entry.bytes.empty()) {
        const std::size_t at = line.size();
        line.resize(at + entry.bytes.size() * 3);
        writehex(entry.bytes, line.data() + at);
        line.erase(at, 1); // without the leading blank
    }
    line += '\n';
}

void appendcaptureline(std::string &line, const LogEntry &entry) {
    const QString macros = entry.macros.join(" / ");
    appendcaptureline(line, CaptureEntry{entry.kind, entry.direction, entry.time, entry.bytes,
                                         view(entry.address), view(macros), view(entry.text)});
}

std::string captureline(const LogEntry &entry) {
    std::string line;
    appendcaptureline(line, entry);
    return line;
}
