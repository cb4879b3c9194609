#include "document/live_follow.h"

namespace document {

bool SameView(const ChartViewState& a, const ChartViewState& b) {
    const auto& m = a.mapping;
    const auto& n = b.mapping;
    if (m.originX != n.originX || m.originY != n.originY || m.scaleX != n.scaleX ||
        m.scaleY != n.scaleY)
        return false;
    if (a.hasSelection != b.hasSelection)
        return false;
    return !a.hasSelection ||
           (a.selectionStart == b.selectionStart && a.selectionEnd == b.selectionEnd);
}

bool LiveFollow::ShouldFollow(const ChartViewState& now, bool dragging) {
    if (!following_ || dragging)
        return false;
    if (settled_ && !SameView(*settled_, now)) {
        following_ = false;
        settled_.reset();
        return false;
    }
    return true;
}

void LiveFollow::Settled(const ChartViewState& now) {
    if (following_)
        settled_ = now;
}

void LiveFollow::Resume() {
    following_ = true;
    settled_.reset();
}

}  // namespace document
