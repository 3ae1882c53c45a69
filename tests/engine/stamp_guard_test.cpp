// The stamp guard tells damaged packet times from real gaps; sums of times
// saturate instead of wrapping.
#include "ff_join_timeline.h"

#include <gtest/gtest.h>

#include <climits>

namespace {
AVPacket PacketAt(int64_t dts, int64_t pts, int64_t duration = 40) {
    AVPacket p{};
    p.dts = dts;
    p.pts = pts;
    p.duration = duration;
    return p;
}

// Time base 1/1000: a 10-second input; jumps over 2 s past the packet
// before and past the end are damage.
constexpr int64_t kStart = 0, kEnd = 10000, kJump = 2000;

TEST(StampGuard, MovesDamagedStampsAndKeepsRealGaps) {
    TStampGuard guard;
    for (int64_t t = 0; t <= 3000; t += 40) {
        AVPacket p = PacketAt(t, t + 80);
        EXPECT_FALSE(guard.Check(&p, kStart, kEnd, kJump));
        EXPECT_EQ(p.dts, t);
    }
    // A real gap of 4 s inside the probed length stays where it is.
    AVPacket gap = PacketAt(7000, 7080);
    EXPECT_FALSE(guard.Check(&gap, kStart, kEnd, kJump));
    EXPECT_EQ(gap.dts, 7000);
    EXPECT_EQ(gap.pts, 7080);

    // Hours past the end: moved right after the packet before, the
    // presentation time keeping its distance.
    AVPacket wild = PacketAt(7000 + 3600000, 7000 + 3600080);
    EXPECT_TRUE(guard.Check(&wild, kStart, kEnd, kJump));
    EXPECT_EQ(wild.dts, 7040);
    EXPECT_EQ(wild.pts, 7120);
    // The next good packet follows on as usual.
    AVPacket next = PacketAt(7080, 7160);
    EXPECT_FALSE(guard.Check(&next, kStart, kEnd, kJump));
    EXPECT_EQ(next.dts, 7080);

    // The presentation time alone damaged: shown when decoded.
    AVPacket badPts = PacketAt(7120, INT64_MAX - 5);
    EXPECT_TRUE(guard.Check(&badPts, kStart, kEnd, kJump));
    EXPECT_EQ(badPts.dts, 7120);
    EXPECT_EQ(badPts.pts, 7120);

    // A damaged decoding time near the end of int64 with no duration: one
    // step on from the last, no overflow.
    AVPacket huge = PacketAt(INT64_MAX - 1, AV_NOPTS_VALUE, 0);
    EXPECT_TRUE(guard.Check(&huge, kStart, kEnd, kJump));
    EXPECT_EQ(huge.dts, 7160);
    EXPECT_EQ(huge.pts, AV_NOPTS_VALUE);
}

TEST(StampGuard, AnUnknownLengthMovesNothingAndTheFirstPacketStartsAtTheStart) {
    TStampGuard unknown;
    AVPacket far = PacketAt(5000000, 5000000);
    EXPECT_FALSE(unknown.Check(&far, kStart, AV_NOPTS_VALUE, kJump));
    EXPECT_EQ(far.dts, 5000000);
    // Damaged from the very first packet: placed at the input's start.
    TStampGuard first;
    AVPacket p = PacketAt(5000000, 5000040);
    EXPECT_TRUE(first.Check(&p, 100, kEnd, kJump));
    EXPECT_EQ(p.dts, 100);
    EXPECT_EQ(p.pts, 140);
}

TEST(StampGuard, SumsSaturate) {
    EXPECT_EQ(SaturatingSum(1, 2), 3);
    EXPECT_EQ(SaturatingSum(INT64_MAX, 1), INT64_MAX);
    EXPECT_EQ(SaturatingSum(INT64_MAX - 1, INT64_MAX), INT64_MAX);
    EXPECT_EQ(SaturatingSum(INT64_MIN, -1), INT64_MIN);
    EXPECT_EQ(SaturatingSum(INT64_MIN, INT64_MAX), -1);
}
}  // namespace
