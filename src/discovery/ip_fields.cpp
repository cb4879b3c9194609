#include "discovery/ip_fields.h"

#include <cstring>

namespace discovery {

uint32_t FieldsToNetworkOrder(uint32_t fields) {
    const uint8_t octets[4] = {
        static_cast<uint8_t>(FieldOf(fields, 0)), static_cast<uint8_t>(FieldOf(fields, 1)),
        static_cast<uint8_t>(FieldOf(fields, 2)), static_cast<uint8_t>(FieldOf(fields, 3))};
    uint32_t value = 0;
    std::memcpy(&value, octets, sizeof value);
    return value;
}

uint32_t NetworkOrderToFields(uint32_t networkOrder) {
    uint8_t octets[4];
    std::memcpy(octets, &networkOrder, sizeof octets);
    return MakeFields(octets[0], octets[1], octets[2], octets[3]);
}

}  // namespace discovery
