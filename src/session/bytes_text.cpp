#include "bytes_text.h"

#include "block_text.h"
#include "cp1250.h"

#include <algorithm>

std::string toBytes(const QString &text) {
    return toCp1250(std::u16string_view(reinterpret_cast<const char16_t *>(text.constData()),
                                        static_cast<size_t>(text.size())));
}

// Written straight into the string: blocks of megabytes are logged in one go.
QString fromBytes(std::string_view bytes, qsizetype indent) {
    QString text(indent + static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    fromCp1250(bytes, std::fill_n(reinterpret_cast<char16_t *>(text.data()), indent, u' '));
    return text;
}

QString hexlinetext(std::string_view bytes, qsizetype indent) {
    QString text(indent + 3 * static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    writehex(bytes, std::fill_n(reinterpret_cast<char16_t *>(text.data()), indent, u' '));
    return text;
}
