#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

#include "link/receive_buffer.h"

using devlink::ReceiveBuffer;

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t first) {
    std::vector<uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

std::vector<uint8_t> Contents(const ReceiveBuffer& a) {
    return {a.buffer, a.buffer + a.length};
}

}  // namespace

TEST(NetArchive, FreshArchiveIsEmpty) {
    ReceiveBuffer a;
    EXPECT_EQ(a.buffer, nullptr);
    EXPECT_EQ(a.cursor, nullptr);
    EXPECT_EQ(a.length, 0u);
    EXPECT_EQ(a.capacity, 0u);
    EXPECT_EQ(a.growStep, 0);
}

// Each step appends `n` bytes; the block must end up exactly `capacity`
// long, reallocated only when the contents no longer fit.
TEST(NetArchive, GrowsAdditivelyByGrowStepBeyondTheNeed) {
    struct Step {
        uint32_t n;
        uint32_t capacity;
        bool reallocates;
    };
    const Step steps[] = {
        {10, 522, true},     // first append: 10 + 512
        {512, 522, false},   // exactly fills the block
        {0, 522, false},     // nothing to copy, nothing to grow
        {1, 1035, true},     // 523 + 512
        {2000, 3035, true},  // 2523 + 512, not doubled
        {512, 3035, false},
    };
    ReceiveBuffer a;
    a.growStep = 512;
    std::vector<uint8_t> expected;
    uint8_t next = 0;
    for (const Step& s : steps) {
        SCOPED_TRACE(testing::Message() << "append " << s.n << " to " << a.length);
        const uint8_t* before = a.buffer;
        const auto chunk = Bytes(s.n, next);
        next = static_cast<uint8_t>(next + s.n);
        ASSERT_TRUE(a.Append(chunk.data(), s.n));
        expected.insert(expected.end(), chunk.begin(), chunk.end());
        EXPECT_EQ(a.capacity, s.capacity);
        EXPECT_EQ(a.length, expected.size());
        EXPECT_EQ(a.buffer != before, s.reallocates);
        EXPECT_EQ(Contents(a), expected);
    }
}

TEST(NetArchive, ReserveAlwaysReallocatesAndKeepsContentsAndCursorOffset) {
    ReceiveBuffer a;
    a.growStep = 512;
    const auto data = Bytes(20, 1);
    ASSERT_TRUE(a.Append(data.data(), 20));
    a.cursor = a.buffer + 7;
    const uint8_t* old = a.buffer;
    ASSERT_TRUE(a.Reserve(100));  // smaller than the current block: still reallocates
    EXPECT_NE(a.buffer, old);
    EXPECT_EQ(a.capacity, 612u);
    EXPECT_EQ(a.cursor, a.buffer + 7);
    EXPECT_EQ(*a.cursor, 8);
    EXPECT_EQ(Contents(a), data);
}

TEST(NetArchive, ResetEmptiesButKeepsTheBlock) {
    ReceiveBuffer a;
    a.growStep = 512;
    const auto data = Bytes(30, 0);
    ASSERT_TRUE(a.Append(data.data(), 30));
    a.cursor += 5;
    const uint8_t* block = a.buffer;
    a.Reset();
    EXPECT_EQ(a.length, 0u);
    EXPECT_EQ(a.cursor, block);
    EXPECT_EQ(a.buffer, block);
    EXPECT_EQ(a.capacity, 542u);
}

TEST(NetArchive, CompactMovesTheUnreadRestToTheFront) {
    ReceiveBuffer a;
    a.growStep = 512;
    const auto data = Bytes(50, 0);
    ASSERT_TRUE(a.Append(data.data(), 50));
    a.cursor += 45;
    EXPECT_EQ(a.Unread(), 5u);
    a.Compact();
    EXPECT_EQ(a.cursor, a.buffer);
    EXPECT_EQ(Contents(a), std::vector<uint8_t>(data.begin() + 45, data.end()));
    a.cursor += 5;
    a.Compact();
    EXPECT_EQ(a.length, 0u);
}

// Sizes beyond the 32-bit fields cannot be had: the archive must refuse
// them and keep what it holds rather than wrap around.
TEST(NetArchive, UnobtainableSizesFailAndChangeNothing) {
    ReceiveBuffer a;
    a.growStep = 512;
    const auto data = Bytes(16, 3);
    ASSERT_TRUE(a.Append(data.data(), 16));
    const uint8_t* block = a.buffer;

    EXPECT_FALSE(a.Reserve(UINT32_MAX - 100));
    EXPECT_FALSE(a.Append(data.data(), UINT32_MAX - 8));

    EXPECT_EQ(a.buffer, block);
    EXPECT_EQ(a.capacity, 528u);
    EXPECT_EQ(Contents(a), data);
}
