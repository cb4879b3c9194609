// The device selection's row images and sort marks at the pixel density of
// the screen they are shown on.
#include <gtest/gtest.h>

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include "discovery/ui/device_icons.h"
#include "tests/support/ui_test_support.h"

using namespace discovery::ui;

namespace {

QImage Pixels(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

TEST(DeviceIcons, EveryImageIsDrawnAtTwiceThePixelsAtRatioTwo) {
    for (int id : {IDI_SORT_DOWN, IDI_SORT_UP, IDI_DEVICE_ONLINE, IDI_DEVICE_WAIT_IP}) {
        SCOPED_TRACE(id);
        const QIcon icon = DeviceIcon(id);
        ASSERT_FALSE(icon.isNull());
        const QPixmap pm = icon.pixmap(QSize(kDeviceIconSize, kDeviceIconSize), 2.0);
        EXPECT_EQ(pm.size(), QSize(32, 32));
        EXPECT_EQ(pm.devicePixelRatio(), 2.0);
        EXPECT_EQ(Pixels(pm), Pixels(icon.pixmap(QSize(32, 32), 1.0)));
        // Round and slanted edges finer than a blown-up 16-pixel image.
        EXPECT_TRUE(uitest::HasDetailFinerThanTwoPixels(Pixels(pm)));
        // A selected row keeps the true state colour.
        EXPECT_EQ(Pixels(icon.pixmap(QSize(16, 16), 2.0, QIcon::Selected)), Pixels(pm));
    }
    EXPECT_TRUE(DeviceIcon(0).isNull());
}

TEST(DeviceIcons, ShapesAndColours) {
    const auto at2 = [](int id) { return Pixels(DeviceIcon(id).pixmap(QSize(16, 16), 2.0)); };
    const QImage online = at2(IDI_DEVICE_ONLINE), waiting = at2(IDI_DEVICE_WAIT_IP);
    const QColor green = online.pixelColor(16, 16), red = waiting.pixelColor(16, 16);
    EXPECT_GT(green.green(), 2 * green.red());
    EXPECT_GT(red.red(), 2 * red.green());
    EXPECT_EQ(qAlpha(online.pixel(0, 0)), 0);  // round: the corners stay clear
    // The down mark is wide on top, the up mark at the bottom.
    const QImage down = at2(IDI_SORT_DOWN), up = at2(IDI_SORT_UP);
    EXPECT_EQ(down.pixelColor(10, 13), QColor(Qt::black));
    EXPECT_EQ(qAlpha(down.pixel(10, 19)), 0);
    EXPECT_EQ(up.pixelColor(10, 19), QColor(Qt::black));
    EXPECT_EQ(qAlpha(up.pixel(10, 13)), 0);
}
