#pragma once
// An address control holds its four fields as one value with the first field
// in the most significant byte; discovery requests carry addresses in
// network order (first octet in the lowest-addressed byte). Qt-free.

#include <cstdint>

namespace discovery {

// The control's value to network order: the first field becomes the first octet.
uint32_t FieldsToNetworkOrder(uint32_t fields);
uint32_t NetworkOrderToFields(uint32_t networkOrder);
// The control's value from four fields, and back.
inline uint32_t MakeFields(uint32_t f0, uint32_t f1, uint32_t f2, uint32_t f3) {
    return ((f0 & 0xFF) << 24) | ((f1 & 0xFF) << 16) | ((f2 & 0xFF) << 8) | (f3 & 0xFF);
}
inline uint32_t FieldOf(uint32_t fields, int index) {
    return (fields >> (8 * (3 - index))) & 0xFF;
}

}  // namespace discovery
