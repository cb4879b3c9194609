#pragma once
// The link's growable byte buffer. It stores raw bytes and knows nothing of
// frames or byte order. Growth is additive: a block that must hold k bytes
// becomes exactly k + growStep bytes, so a frame up to growStep bytes beyond
// the contents never reallocates twice.

#include <cstdint>

namespace devlink {

class ReceiveBuffer {
public:
    ReceiveBuffer() = default;
    virtual ~ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // Empties the archive; the block stays allocated.
    void Reset();
    // Always reallocates to n + growStep bytes, keeping the contents and the
    // cursor's offset. False, with nothing changed, when allocation fails.
    bool Reserve(uint32_t n);
    // Appends n bytes, growing first when they do not fit. False, with
    // nothing changed, when growing fails.
    bool Append(const void* data, uint32_t n);

    // Bytes from the cursor to the end of the contents.
    uint32_t Unread() const { return length - static_cast<uint32_t>(cursor - buffer); }
    // Drops the consumed bytes in front of the cursor, moving the rest down
    // to the start of the block.
    void Compact();

    uint8_t* buffer = nullptr;  // null until something was reserved
    uint8_t* cursor = nullptr;  // first byte not yet consumed
    uint32_t length = 0;        // bytes in use, counted from buffer
    uint32_t capacity = 0;      // size of the block
    int32_t growStep = 0;       // extra bytes added on every reallocation
};

}  // namespace devlink
