// The log view saved as an RTF document.
#include "log_view.h"

#include "errors.h"
#include "rtf_writer.h"

#include <QSaveFile>

#include <algorithm>

namespace {

std::u16string utf16(const QString &text) {
    return std::u16string(reinterpret_cast<const char16_t *>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

bool writeall(QSaveFile &file, const std::string &bytes) {
    const auto size = static_cast<qint64>(bytes.size());
    return file.write(bytes.data(), size) == size;
}

template <class T> std::size_t placein(std::vector<T> &table, const T &entry) {
    const auto found = std::find(table.begin(), table.end(), entry);
    if (found != table.end())
        return static_cast<std::size_t>(found - table.begin());
    table.push_back(entry);
    return table.size() - 1;
}

} // namespace

void LogView::save(const QString &path) const {
    std::vector<std::u16string> fonts;
    std::vector<RtfColour> colours;
    std::vector<std::pair<std::size_t, std::size_t>> places;
    for (const LineStyle &style : styles_) {
        const RtfColour colour{static_cast<unsigned char>(style.colour.red()),
                               static_cast<unsigned char>(style.colour.green()),
                               static_cast<unsigned char>(style.colour.blue())};
        places.emplace_back(placein(fonts, utf16(style.font)), placein(colours, colour));
    }

    QSaveFile file(path);
    const auto fail = [&] {
        throw KrovanError(
            QString("Cannot create file \"%1\". %2").arg(path, file.errorString()).toStdString());
    };
    if (!file.open(QIODevice::WriteOnly))
        fail();
    RtfWriter rtf(fonts, colours, pointsize);
    std::u16string text;
    for (std::int64_t n = 0; n < store_.count(); ++n) {
        const auto [font, colour] = places[store_.style(n)];
        store_.text(n, text);
        rtf.text(text, font, colour);
        rtf.endline();
        if (rtf.pending() >= (1 << 16) && !writeall(file, rtf.take()))
            fail();
    }
    rtf.finish();
    if (!writeall(file, rtf.take()) || !file.commit())
        fail();
}
