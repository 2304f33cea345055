#include "record_texts.h"

#include "block_text.h"
#include "bytes_text.h"

RecordTexts::RecordTexts(const std::string &bytes, bool withhex)
    : printableline(fromBytes(printabletext(bytes), 2)),
      hexline(withhex ? hexlinetext(bytes, 1) : QString()) {}

const RecordTexts &RecordTexts::of(const LogEntry &entry, bool withhex) {
    // Only the last entry is kept: every sink takes an entry before the
    // next one is made.
    static quint64 serial = 0;
    static RecordTexts texts;
    if (entry.serial == 0 || entry.serial != serial) {
        texts = RecordTexts(entry.bytes, withhex);
        serial = entry.serial;
    } else if (withhex && texts.hexline.isEmpty()) {
        texts.hexline = hexlinetext(entry.bytes, 1);
    }
    return texts;
}
