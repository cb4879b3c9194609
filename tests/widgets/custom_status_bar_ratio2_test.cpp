// The status bar's owner-drawn pane on a screen of device pixel ratio 2: made
// for the device pixels, not drawn at ratio 1 and blown up.
#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>

#include "tests/support/ui_test_support.h"
#include "widgets/custom_status_bar.h"

using namespace widgets;

TEST(CustomStatusBarAtRatio2, OwnerDrawnPaneIsDrawnInDevicePixels) {
    CustomStatusBar bar;
    bar.resize(200, 24);
    ASSERT_EQ(bar.devicePixelRatioF(), 2.0) << "the screen is not at ratio 2";
    ASSERT_TRUE(bar.SetIndicators({127}));
    bar.SetPaneInfo(0, 127, CustomStatusBar::kPaneStretch | CustomStatusBar::kPaneOwnerDraw, 0);
    const QColor red(255, 0, 0), window = bar.palette().color(QPalette::Window);
    bar.SetPaneColours(0, red, Qt::black);

    const QPixmap shot = bar.grab();
    EXPECT_EQ(shot.devicePixelRatio(), 2.0);
    const QImage image = shot.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    ASSERT_EQ(image.size(), QSize(400, 48));

    // The pane (2, 2, 196 x 20) shrunk by one pixel: logical (3, 3, 194 x 18),
    // device (6, 6, 388 x 36). Its edges fall between two device pixels, with
    // nothing blended across them.
    const int row = 30, column = 300;  // clear of the text
    EXPECT_EQ(image.pixelColor(5, row), window);
    EXPECT_EQ(image.pixelColor(6, row), red);
    EXPECT_EQ(image.pixelColor(393, row), red);
    EXPECT_EQ(image.pixelColor(394, row), window);
    EXPECT_EQ(image.pixelColor(column, 5), window);
    EXPECT_EQ(image.pixelColor(column, 6), red);
    EXPECT_EQ(image.pixelColor(column, 41), red);
    EXPECT_EQ(image.pixelColor(column, 42), window);

    // The pane holds the off-screen picture pixel for pixel, and its text was
    // laid out at the device density.
    const QImage pane = bar.RenderPane(0);
    EXPECT_EQ(pane.devicePixelRatio(), 2.0);
    ASSERT_EQ(pane.size(), QSize(388, 36));
    EXPECT_EQ(image.copy(6, 6, 388, 36), pane.convertToFormat(image.format()));
    EXPECT_TRUE(uitest::HasDetailFinerThanTwoPixels(pane.copy(0, 0, 100, 36)));
}
