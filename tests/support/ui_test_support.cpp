#include "tests/support/ui_test_support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <cstdarg>
#include <cstdlib>
#include <cwchar>

#include "widgets/settings.h"

namespace uitest {

namespace {

// One QApplication for the whole test program, and a settings store that
// lives in a temporary folder instead of the user's home.
class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        settingsDir_ = new QTemporaryDir;
        const QString dir = settingsDir_->path();
        qputenv("XDG_CONFIG_HOME", dir.toLocal8Bit());
        // Recovery files and the like stay out of the user's data folder too.
        qputenv("XDG_DATA_HOME", (dir + QStringLiteral("/data")).toLocal8Bit());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir);
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir);
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = new QApplication(argc_, argv_);
    }
    void TearDown() override {
        delete app_;
        delete settingsDir_;
    }

private:
    int argc_ = 1;
    char name_[16] = "calvero-tests";
    char* argv_[2] = {name_, nullptr};
    QApplication* app_ = nullptr;
    QTemporaryDir* settingsDir_ = nullptr;
};

const bool registered = (::testing::AddGlobalTestEnvironment(new QtEnvironment), true);

}  // namespace

bool HasDetailFinerThanTwoPixels(const QImage& image) {
    for (int y = 0; y + 1 < image.height(); y += 2)
        for (int x = 0; x + 1 < image.width(); x += 2) {
            const QRgb corner = image.pixel(x, y);
            if (image.pixel(x + 1, y) != corner || image.pixel(x, y + 1) != corner ||
                image.pixel(x + 1, y + 1) != corner)
                return true;
        }
    return false;
}

void ClearSettings() {
    QSettings s = widgets::OpenSettings();
    s.clear();
    s.sync();
}

uint32_t FakeLink::Connect(const char* host, uint16_t port, uint32_t retryInterval) {
    connects.push_back({host, port, retryInterval});
    return connectResult;
}

uint32_t FakeLink::Disconnect(uint32_t notify, uint32_t immediate) {
    disconnects.emplace_back(notify, immediate);
    if (onDisconnect)
        onDisconnect();
    return 0;
}

uint32_t FakeLink::Send(const void* data, uint32_t length) {
    if (sendResult != 0)
        return sendResult;
    const auto* p = static_cast<const uint8_t*>(data);
    sent.emplace_back(p, p + length);
    return 0;
}

void PutU32(std::vector<uint8_t>& b, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[offset + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t>& b, size_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(b[offset + i]) << (8 * i);
    return v;
}

std::vector<uint8_t> Header(uint32_t type, uint32_t result, uint32_t seq, size_t size) {
    std::vector<uint8_t> b(size, 0);
    PutU32(b, 0, type);
    PutU32(b, 4, result);
    PutU32(b, 8, seq);
    return b;
}

}  // namespace uitest
