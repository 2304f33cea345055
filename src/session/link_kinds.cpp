#include "link_kinds.h"

// Each entry stands at its kind's index.
static_assert([] {
    for (std::size_t i = 0; i < kindcount; ++i)
        if (static_cast<std::size_t>(linkkinds[i].kind) != i)
            return false;
    return true;
}());

const LinkKindInfo &kindinfo(LinkKind kind) {
    return linkkinds[static_cast<std::size_t>(kind)];
}

LinkKind kindat(int index) {
    return index >= 0 && static_cast<std::size_t>(index) < kindcount
               ? linkkinds[static_cast<std::size_t>(index)].kind
               : LinkKind::None;
}

std::optional<LinkKind> kindnamed(const QString &word) {
    for (const LinkKindInfo &each : linkkinds)
        if (word == QLatin1String(each.word))
            return each.kind;
    return std::nullopt;
}
