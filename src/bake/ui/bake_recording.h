#pragma once
// The meeting point of the control panel and the chart document that records
// the running bake. The panel hands the bake's packets to the registered
// view; the document registers its view with the panel, reads the time its
// charts start at, and sends one of its charts as the controller's profile.
// Neither side sees the other's widgets. Window thread only.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "bake/profile_upload.h"

namespace bake::ui {

// A chart view that records a bake. Implemented by the chart document.
class BakeRecording {
public:
    virtual ~BakeRecording() = default;
    // A 66-byte gauge packet, in the order received.
    virtual void OnGaugeData(const uint8_t* bytes, uint32_t length) = 0;
    // The controller's report of the running profile (type 34).
    virtual void OnProfileReport(const uint8_t* bytes, uint32_t length) = 0;
};

// What a chart document asks of the control panel. Implemented by the panel.
class BakePanel {
public:
    virtual ~BakePanel() = default;
    // The view that receives the bake's packets from now on, replacing any
    // earlier one; not owned.
    virtual void SetBakeView(BakeRecording* view) = 0;
    // A closing document takes its view back; another view stays registered.
    virtual void ClearBakeView(BakeRecording* view) = 0;
    virtual BakeRecording* BakeView() const = 0;
    // The controller time of the last gauge packet in milliseconds, 0 before
    // the first: where a new document's charts start.
    virtual uint64_t LastGaugeTime() const = 0;
    // Whether the panel is Idle, the one state in which a profile may be sent.
    virtual bool IsIdle() const = 0;
    // Sends the points of one chart (x seconds, y degrees) as the
    // controller's temperature profile; none when no chart was found (a chart
    // without points is a chart, with none of them). Every refusal and
    // failure is shown to the operator here.
    virtual void SendProfile(std::optional<std::span<const bake::ProfileSample>> points) = 0;
};

}  // namespace bake::ui
