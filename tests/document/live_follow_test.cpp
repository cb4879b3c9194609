// When the live record scrolls to its newest point and when it leaves the
// view where the operator put it.
#include "document/live_follow.h"

#include <gtest/gtest.h>

using namespace document;

namespace {

ChartViewState View(double originX, bool selection = false) {
    ChartViewState v;
    v.mapping.originX = originX;
    v.mapping.originY = 300;
    v.mapping.scaleX = 2;
    v.mapping.scaleY = 1;
    v.hasSelection = selection;
    return v;
}

}  // namespace

TEST(LiveFollow, FollowsUntilTheOperatorMovesTheView) {
    struct Case {
        const char* what;
        ChartViewState moved;
    };
    ChartViewState zoomed = View(10);
    zoomed.mapping.scaleX = 4;
    ChartViewState reselected = View(10, true);
    const Case cases[] = {
        {"pan", View(50)},
        {"zoom", zoomed},
        {"selection", reselected},
    };
    for (const Case& c : cases) {
        LiveFollow f;
        EXPECT_TRUE(f.ShouldFollow(View(0), false)) << c.what;
        f.Settled(View(10));  // the view scrolled to the point
        EXPECT_TRUE(f.ShouldFollow(View(10), false)) << c.what;
        f.Settled(View(10));
        EXPECT_FALSE(f.ShouldFollow(c.moved, false)) << c.what;
        f.Settled(c.moved);
        // It stays where the operator put it, even when they move it back.
        EXPECT_FALSE(f.ShouldFollow(View(10), false)) << c.what;
        EXPECT_FALSE(f.Following()) << c.what;
        // Until they ask for the whole picture.
        f.Resume();
        EXPECT_TRUE(f.ShouldFollow(View(77), false)) << c.what;
    }
}

TEST(LiveFollow, ADragInProgressIsLeftAloneAndDecidedAfterwards) {
    LiveFollow f;
    f.Settled(View(10));
    EXPECT_FALSE(f.ShouldFollow(View(40), true));  // panning
    EXPECT_TRUE(f.Following());
    EXPECT_FALSE(f.ShouldFollow(View(40), false));  // released elsewhere
    EXPECT_FALSE(f.Following());

    // A click that moved nothing keeps following.
    LiveFollow g;
    g.Settled(View(10));
    EXPECT_FALSE(g.ShouldFollow(View(10), true));
    EXPECT_TRUE(g.ShouldFollow(View(10), false));
}

TEST(LiveFollow, SelectionBoundsCountOnlyWhileThereIsASelection) {
    struct Case {
        const char* what;
        double startA, endA, startB, endB;
    };
    const Case cases[] = {
        {"start differs", 1, 5, 2, 5},
        {"end differs", 1, 5, 1, 9},
        {"both differ", 1, 5, 2, 9},
    };
    for (const Case& c : cases) {
        ChartViewState a = View(0), b = View(0);
        a.selectionStart = c.startA;
        a.selectionEnd = c.endA;
        b.selectionStart = c.startB;
        b.selectionEnd = c.endB;
        EXPECT_TRUE(SameView(a, b)) << c.what;
        a.hasSelection = b.hasSelection = true;
        EXPECT_FALSE(SameView(a, b)) << c.what;
    }
}

// A new selection from where the old one started, to elsewhere, is the
// operator's doing: the record stops following.
TEST(LiveFollow, ANewSelectionWithTheSameStartAndAnotherEndStopsFollowing) {
    ChartViewState before = View(10, true);
    before.selectionStart = 20;
    before.selectionEnd = 30;
    ChartViewState after = before;
    after.selectionEnd = 45;
    LiveFollow f;
    f.Settled(before);
    EXPECT_TRUE(f.ShouldFollow(before, false));
    f.Settled(before);
    EXPECT_FALSE(f.ShouldFollow(after, false));
    EXPECT_FALSE(f.Following());
}
