#pragma once
// The whole operator program on a fake link, for tests of what its windows
// add up to: settings cleared, records and recovery files in a folder of the
// test's own, a connection asked for at start-up (so no device selection
// opens), and every "save changes?" answered Discard. A test calls
// app_.InitInstance(options_, services_, docs_) once it has set what it needs.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "document/chart_document.h"
#include "shell/application.h"
#include "tests/support/ui_test_support.h"

namespace uitest {

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearSettings();
        services_.messageBox = &box_;
        services_.createLink = [this](devlink::Receiver*, devlink::LinkLog*, uint32_t*) {
            return static_cast<devlink::Connection*>(&link_);
        };
        services_.releaseLink = [](devlink::Connection*) { return 0u; };
        docs_.recoveryFolder = dir_.filePath(QStringLiteral("recovery"));
        docs_.askSaveChanges = [](QWidget*, const QString&) {
            return document::SaveChoice::Discard;
        };
        options_.recordsFolder = dir_.filePath(QStringLiteral("records"));
        options_.connectHost = QStringLiteral("192.0.2.9");  // no device selection
    }

    QTemporaryDir dir_;
    RecordingMessageBox box_;
    FakeLink link_;
    shell::MainFrameServices services_;
    shell::DocumentServices docs_;
    shell::CommandLineOptions options_;
    shell::Application app_;
};

}  // namespace uitest
