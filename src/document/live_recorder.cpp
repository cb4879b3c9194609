#include "document/live_recorder.h"

#include "document/document_manager.h"

namespace document {

LiveRecorder::LiveRecorder(DocumentManager* documents, QObject* parent)
    : QObject(parent), documents_(documents) {}

LiveRecorder::~LiveRecorder() {
    controller_->sendProfile = nullptr;
    controller_->idle = false;
}

void LiveRecorder::SetActive(bool active) {
    active_ = active;
    if (active_)
        documents_->Context().controllerIdle = state_ == bake::ui::ControlState::CF_IDLE;
}

void LiveRecorder::Listen(const bake::ui::ControlPanel* panel) {
    using bake::ui::ControlPanel;
    connect(panel, &ControlPanel::stateChanged, this, &LiveRecorder::OnStateChanged);
    connect(panel, &ControlPanel::bakeStarted, this, &LiveRecorder::OnBakeStarted);
    connect(panel, &ControlPanel::bakeEnded, this, &LiveRecorder::OnBakeEnded);
    connect(panel, &ControlPanel::gaugeReceived, this, &LiveRecorder::OnGauge);
    connect(panel, &ControlPanel::profileReported, this, &LiveRecorder::OnProfileReport);
    OnStateChanged(panel->State());
}

void LiveRecorder::Follow(ChartDocument* doc) {
    record_ = doc;
    if (doc) {
        doc->SetController(controller_);
        // A closed window is deleted later; it records nothing meanwhile.
        connect(doc, &ChartDocument::closed, this, [this, doc] {
            if (record_ == doc)
                record_ = nullptr;
            if (live_ == doc)
                live_ = nullptr;
        });
    }
}

ChartDocument* LiveRecorder::NewDocument() {
    if (state_ == bake::ui::ControlState::CF_BAKING)
        return documents_->NewBlankDocument();
    ChartDocument* doc = documents_->NewRecord(lastGaugeTime_, DeviceTag());
    if (doc)
        Follow(doc);
    return doc;
}

ChartDocument* LiveRecorder::NewStartupDocument() {
    ChartDocument* doc = NewDocument();
    documents_->SetStartupDocument(doc);
    return doc;
}

void LiveRecorder::OnStateChanged(bake::ui::ControlState state) {
    state_ = state;
    controller_->idle = state == bake::ui::ControlState::CF_IDLE;
    if (active_)
        documents_->Context().controllerIdle = controller_->idle;
    // Idle lets the record go: a record made while Idle has recorded the
    // plate, not a bake, and the next bake gets one of its own.
    if (state == bake::ui::ControlState::CF_IDLE)
        record_ = nullptr;
}

void LiveRecorder::OnBakeStarted(uint64_t startTime) {
    // The record of the bake before is let go even if this one cannot be made.
    record_ = nullptr;
    ChartDocument* doc = documents_->NewLiveRecord(startTime, DeviceTag());
    Follow(doc);
    live_ = doc;
}

void LiveRecorder::OnBakeEnded(bake::ui::BakeEnd) {
    // Saved however the bake ended. After a dropped link the record still
    // takes the readings until the panel knows the controller's state again
    // (which then lets it go or opens the next bake's record).
    if (ChartDocument* doc = live_) {
        live_ = nullptr;
        doc->EndLiveBake();
    }
}

void LiveRecorder::OnGauge(const bake::CONCC_GaugeData& gauge) {
    lastGaugeTime_ = gauge.timestamp;
    if (record_)
        record_->AppendGauge(gauge);
}

void LiveRecorder::OnProfileReport(const bake::CONCC_TempProfile& report) {
    if (record_)
        record_->ShowProfile(report);
}

}  // namespace document
