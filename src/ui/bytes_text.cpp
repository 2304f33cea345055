#include "bytes_text.h"

#include "cp1250.h"

std::string toBytes(const QString &text)
{
    return toCp1250(std::u16string_view(reinterpret_cast<const char16_t *>(text.utf16()),
                                        static_cast<size_t>(text.size())));
}

QString fromBytes(std::string_view bytes)
{
    const std::u16string text = fromCp1250(bytes);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
