#include "record_texts.h"

#include "block_text.h"
#include "bytes_text.h"
#include "log_store.h"

RecordTexts::RecordTexts(const std::string &bytes, bool withhex)
    : printablestored("  " + printabletext(bytes)) {
    // Control bytes are written as names: the printable text holds no byte
    // the store gives a meaning of its own.
    if (withhex)
        LogStore::encodehexline(bytes, hexstored);
}

const RecordTexts &RecordTexts::of(const LogEntry &entry, bool withhex) {
    // Only the last entry is kept: every sink takes an entry before the
    // next one is made.
    static quint64 serial = 0;
    static RecordTexts texts;
    if (entry.serial == 0 || entry.serial != serial) {
        texts = RecordTexts(entry.bytes, withhex);
        serial = entry.serial;
    } else if (withhex && texts.hexstored.empty()) {
        LogStore::encodehexline(entry.bytes, texts.hexstored);
    }
    return texts;
}

QStringView RecordTexts::printable() const {
    if (printable_.isNull())
        printable_ = fromBytes(std::string_view(printablestored).substr(2));
    return printable_;
}

QStringView RecordTexts::hex() const {
    if (hex_.isNull() && !hexstored.empty())
        hex_ = LogStore::decode(hexstored.data() + 1, hexstored.size() - 1);
    return hex_;
}
