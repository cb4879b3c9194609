// The toolbar images and the program's icon at the pixel density of the
// screen they are shown on.
#include <gtest/gtest.h>

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "tests/support/ui_test_support.h"
#include "widgets/command_icons.h"
#include "widgets/drawn_icon.h"

using namespace widgets;

namespace {

struct NamedIcon {
    const char* name;
    QIcon icon;
};

std::vector<NamedIcon> AllIcons() {
    return {
        {"new", CommandIcon(CommandImage::New)},     {"open", CommandIcon(CommandImage::Open)},
        {"save", CommandIcon(CommandImage::Save)},   {"copy", CommandIcon(CommandImage::Copy)},
        {"print", CommandIcon(CommandImage::Print)}, {"about", CommandIcon(CommandImage::About)},
        {"application", ApplicationIcon()}};
}

QImage Pixels(const QPixmap& pixmap) {
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace

TEST(CommandIcons, DrawnForTheDevicePixelsOfEveryRatio) {
    // The toolbar's and the menus' sizes, at ratio 1, 2 and a fractional one.
    const struct {
        int logical;
        qreal ratio;
    } cases[] = {{16, 1.0}, {16, 2.0}, {24, 2.0}, {32, 2.0}, {48, 2.0}, {16, 1.5}};
    for (const NamedIcon& named : AllIcons()) {
        for (const auto& c : cases) {
            const int device = qRound(c.logical * c.ratio);
            const QPixmap pm = named.icon.pixmap(QSize(c.logical, c.logical), c.ratio);
            SCOPED_TRACE(testing::Message() << named.name << " " << c.logical << "@" << c.ratio);
            EXPECT_EQ(pm.size(), QSize(device, device));
            EXPECT_EQ(pm.devicePixelRatio(), c.ratio);
            // The same pixels as the drawing made for that many pixels at ratio 1.
            EXPECT_EQ(Pixels(pm), Pixels(named.icon.pixmap(QSize(device, device), 1.0)));
        }
    }
}

TEST(CommandIcons, AtRatioTwoALinePixelIsTwoSharpDevicePixels) {
    // The save image's outline is a 1-pixel line on the left edge of the
    // disk, between transparent pixels and the blue body.
    const QImage image = Pixels(CommandIcon(CommandImage::Save).pixmap(QSize(16, 16), 2.0));
    const QRgb outline = qRgb(40, 40, 40), body = qRgb(60, 90, 170);
    for (int y : {8, 12, 16}) {
        SCOPED_TRACE(y);
        EXPECT_EQ(qAlpha(image.pixel(1, y)), 0);
        EXPECT_EQ(image.pixel(2, y), outline);
        EXPECT_EQ(image.pixel(3, y), outline);
        EXPECT_EQ(image.pixel(4, y), body);
    }
}

TEST(CommandIcons, SlantsAndCurvesHaveDetailBelowTheLogicalPixel) {
    // A blown-up 16-pixel picture would show only 2 x 2 blocks.
    for (const NamedIcon& named : AllIcons()) {
        if (std::string(named.name) == "save")
            continue;  // only straight lines on whole pixels: no finer detail to show
        EXPECT_TRUE(
            uitest::HasDetailFinerThanTwoPixels(Pixels(named.icon.pixmap(QSize(16, 16), 2.0))))
            << named.name;
    }
}

TEST(CommandIcons, DisabledLookIsGreyedAtTheSameDensity) {
    const QIcon icon = CommandIcon(CommandImage::New);
    const QPixmap normal = icon.pixmap(QSize(24, 24), 2.0, QIcon::Normal);
    const QPixmap disabled = icon.pixmap(QSize(24, 24), 2.0, QIcon::Disabled);
    EXPECT_EQ(disabled.size(), QSize(48, 48));
    EXPECT_EQ(disabled.devicePixelRatio(), 2.0);
    EXPECT_NE(Pixels(disabled), Pixels(normal));
    // Hovered and selected looks stay the picture itself.
    EXPECT_EQ(Pixels(icon.pixmap(QSize(24, 24), 2.0, QIcon::Active)), Pixels(normal));
    EXPECT_EQ(Pixels(icon.pixmap(QSize(24, 24), 2.0, QIcon::Selected)), Pixels(normal));
}

TEST(DrawnIcon, PaintsAtThePaintersDensityAndKeepsItSquare) {
    const QIcon icon = ApplicationIcon();
    QImage target(QSize(80, 64), QImage::Format_ARGB32_Premultiplied);
    target.setDevicePixelRatio(2.0);
    target.fill(Qt::transparent);
    {
        QPainter p(&target);
        icon.paint(&p, QRect(0, 0, 40, 32));  // logical; wider than high
    }
    // A 32 x 32 picture drawn at 64 device pixels, centred across the width.
    const QImage expected = Pixels(icon.pixmap(QSize(64, 64), 1.0));
    EXPECT_EQ(target.copy(8, 0, 64, 64), expected);
    EXPECT_EQ(qAlpha(target.pixel(7, 40)), 0);
    EXPECT_EQ(qAlpha(target.pixel(72, 40)), 0);
}
