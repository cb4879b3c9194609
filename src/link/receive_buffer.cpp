#include "link/receive_buffer.h"

#include <cstring>
#include <new>

namespace devlink {

ReceiveBuffer::~ReceiveBuffer() {
    delete[] buffer;
    buffer = nullptr;
    cursor = nullptr;
    length = 0;
    capacity = 0;
}

void ReceiveBuffer::Reset() {
    length = 0;
    cursor = buffer;
}

bool ReceiveBuffer::Reserve(uint32_t n) {
    // A size that does not fit the 32-bit fields is as unobtainable as an
    // exhausted heap.
    const int64_t size = static_cast<int64_t>(n) + growStep;
    if (size < 0 || size > static_cast<int64_t>(UINT32_MAX) || size < length)
        return false;
    auto* block = new (std::nothrow) uint8_t[static_cast<size_t>(size)];
    if (!block)
        return false;
    const auto offset = cursor - buffer;
    if (length)
        std::memcpy(block, buffer, length);
    delete[] buffer;
    buffer = block;
    cursor = block + offset;
    capacity = static_cast<uint32_t>(size);
    return true;
}

bool ReceiveBuffer::Append(const void* data, uint32_t n) {
    if (n > UINT32_MAX - length)
        return false;
    if (length + n > capacity && !Reserve(length + n))
        return false;
    if (n)
        std::memcpy(buffer + length, data, n);
    length += n;
    return true;
}

void ReceiveBuffer::Compact() {
    const uint32_t rest = Unread();
    if (cursor != buffer && rest)
        std::memmove(buffer, cursor, rest);
    length = rest;
    cursor = buffer;
}

}  // namespace devlink
