// The seven-segment read-out on a screen of device pixel ratio 2: its
// segments are laid out in device pixels, not drawn at ratio 1 and blown up.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include <set>

#include "bake/ui/segment_display.h"
#include "tests/support/ui_test_support.h"

TEST(SegLcdCtrlAtRatio2, SegmentsAreLaidOutInDevicePixels) {
    bake::ui::SegmentDisplay ctrl;
    ctrl.SetDigitCount(3);
    ctrl.SetColors(QColor(0, 0, 0), QColor(200, 200, 200), QColor(10, 10, 10));
    ctrl.SetValue(472);
    ctrl.resize(121, 61);
    ASSERT_EQ(ctrl.devicePixelRatioF(), 2.0) << "the screen is not at ratio 2";

    const QPixmap shot = ctrl.grab();
    EXPECT_EQ(shot.devicePixelRatio(), 2.0);
    QImage image = shot.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(image.size(), QSize(242, 122));
    image.setDevicePixelRatio(1.0);

    // The picture of a 242 x 122 pixel control, not that of 121 x 61 enlarged.
    EXPECT_EQ(image, ctrl.Render(QSize(242, 122)));
    const QImage enlarged = ctrl.Render(QSize(121, 61)).scaled(242, 122);
    EXPECT_NE(image, enlarged);
    // Sharp: every pixel is one of the three colours, nothing blended at the
    // slanted segment ends, and those ends step by single device pixels.
    std::set<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) colours.insert(image.pixel(x, y));
    EXPECT_EQ(colours, (std::set<QRgb>{qRgb(0, 0, 0), qRgb(200, 200, 200), qRgb(10, 10, 10)}));
    EXPECT_TRUE(uitest::HasDetailFinerThanTwoPixels(image));

    // A repaint at the same density copies the cache.
    const int renders = ctrl.RenderCount();
    ctrl.grab();
    EXPECT_EQ(ctrl.RenderCount(), renders);
}
