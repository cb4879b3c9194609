#pragma once
// Whether the live record keeps its newest point in sight. It does from the
// start of a bake until the operator moves the view (pan, zoom, selection):
// from then on the view stays where they put it, until they ask for the
// whole picture again ("Zoom to fit", "Reset container").
//
// The view reports the chart control's view state before and after each new
// point; a state that differs from the one it settled in means the operator
// moved it. Plain values, so the rule is tested without a window.

#include <optional>

#include "chart/ui/view_mapping.h"

namespace document {

struct ChartViewState {
    chart::ui::ViewMapping mapping;
    bool hasSelection = false;
    double selectionStart = 0.0;
    double selectionEnd = 0.0;
};

bool SameView(const ChartViewState& a, const ChartViewState& b);

class LiveFollow {
public:
    // Before a new point: true when the view should scroll to it. A drag in
    // progress is left alone without deciding anything yet.
    bool ShouldFollow(const ChartViewState& now, bool dragging);
    // After the new point was handled: the state the view is in now.
    void Settled(const ChartViewState& now);
    // Follow again, from whatever state the view reaches next.
    void Resume();
    bool Following() const { return following_; }

private:
    bool following_ = true;
    std::optional<ChartViewState> settled_;
};

}  // namespace document
