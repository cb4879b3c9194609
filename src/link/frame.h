#pragma once
// The link's frame format, shared by the client link and the simulated
// controller: a 10-byte little-endian header (magic 0x55AA, total length,
// type) followed by the body.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/byte_order.h"

namespace devlink {

inline constexpr uint16_t kMagic = 0x55AA;
inline constexpr uint32_t kHeaderSize = 10;
// Far beyond any controller packet; a longer length field is a protocol error.
inline constexpr uint32_t kMaxFrameLength = 1u << 20;

inline constexpr uint32_t kTypeServerCommand = 1;
inline constexpr uint32_t kTypeInitRequest = 6;
inline constexpr uint32_t kTypeInitResponse = 7;
inline constexpr uint32_t kTypeUserPacket = 8;

inline constexpr uint32_t kInitBodySize = 120;
inline constexpr char kClientSignature[] = "7C41A0B2-3D95-4E18-A6F0-5B29C8E1D374";

struct Header {
    uint16_t magic;
    uint32_t length;  // whole frame, header included
    uint32_t type;
};

// Reads the header at p; the caller guarantees kHeaderSize bytes.
inline Header ReadHeader(const uint8_t* p) {
    return Header{platform::ReadLe16(p), platform::ReadLe32(p + 2), platform::ReadLe32(p + 6)};
}

enum class Cut { NeedMore, Frame, Bad };

// Looks at the front of a receive buffer. Bad: the magic is wrong, or the
// length field cannot make a frame (below the header, above the maximum),
// decided as soon as the header is in so that nothing waits for, or is
// allocated for, bytes that would never make a sensible frame. Frame: a whole
// frame of header->length bytes is there.
inline Cut CutFrame(const uint8_t* data, size_t n, Header* header) {
    if (n < kHeaderSize)
        return Cut::NeedMore;
    *header = ReadHeader(data);
    if (header->length < kHeaderSize || header->length > kMaxFrameLength)
        return Cut::Bad;
    if (n < header->length)
        return Cut::NeedMore;
    return header->magic == kMagic ? Cut::Frame : Cut::Bad;
}

inline void WriteHeader(uint8_t* p, uint32_t type, uint32_t totalLength) {
    platform::WriteLe16(p, kMagic);
    platform::WriteLe32(p + 2, totalLength);
    platform::WriteLe32(p + 6, type);
}

// Appends one whole frame to out.
inline void AppendFrame(std::vector<uint8_t>& out, uint32_t type, const void* body, uint32_t n) {
    size_t at = out.size();
    out.resize(at + kHeaderSize + n);
    WriteHeader(out.data() + at, type, kHeaderSize + n);
    if (n)
        std::memcpy(out.data() + at + kHeaderSize, body, n);
}

// The 120-byte INIT request body: version 0x0101, client type 1, init word 0,
// the signature in a 100-byte NUL-padded field, 12 zero bytes.
inline void WriteInitRequestBody(uint8_t* body) {
    std::memset(body, 0, kInitBodySize);
    platform::WriteLe16(body, 0x0101);
    platform::WriteLe16(body + 2, 1);
    platform::WriteLe32(body + 4, 0);
    std::memcpy(body + 8, kClientSignature, sizeof kClientSignature - 1);
}

}  // namespace devlink
