// Feeds arbitrary packets to the ICMP reply decoder: it must answer,
// skip or refuse each one without reading outside it.
#include "errors.h"
#include "icmp_echo.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // The first two bytes choose the sequence number, the rest is the packet.
    if (size < 2)
        return 0;
    const auto sequence = static_cast<std::uint16_t>(data[0] | (data[1] << 8));
    const std::string_view packet(reinterpret_cast<const char *>(data + 2), size - 2);
    for (const auto identifier :
         {std::optional<std::uint16_t>(), std::optional<std::uint16_t>(sequence)}) {
        try {
            if (const auto reply = icmp::decodereply(packet, sequence, identifier)) {
                const std::string block = icmp::replydata(*reply);
                if (block.size() > packet.size() || reply->bytes != packet.size())
                    __builtin_trap();
            }
        } catch (const KrovanError &) {
        }
    }
    return 0;
}
