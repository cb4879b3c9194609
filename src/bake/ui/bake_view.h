#pragma once
// The chart view that records the running bake. The control panel refers to
// it without owning it; the view's document clears the reference on closing.

#include <cstdint>

class IBakeView {
public:
    virtual ~IBakeView() = default;
    // A 66-byte gauge packet, in the order received.
    virtual void OnGaugeData(const uint8_t* bytes, uint32_t length) = 0;
    // The controller's report of the running profile (type 34).
    virtual void OnProfileReport(const uint8_t* bytes, uint32_t length) = 0;
};
