// The dialog status line: its creation, its colours and what it draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "tests/support/ui_test_support.h"
#include "widgets/status_bar_dialog.h"

using namespace widgets;

namespace {

class TestDialog : public StatusBarDialog {
public:
    TestDialog() : StatusBarDialog(4711) { resize(400, 200); }
    using StatusBarDialog::ControlArea;
    using StatusBarDialog::CreateStatusBar;
    using StatusBarDialog::RepositionBars;
};

// Whether any pixel of the area has the colour.
bool HasColour(const QImage& image, const QColor& colour, QRect area = QRect()) {
    if (area.isNull())
        area = image.rect();
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            if (image.pixelColor(x, y).rgb() == colour.rgb())
                return true;
    return false;
}

TEST(CustomStatusBar, PaneColoursAfterConstruction) {
    CustomStatusBar bar;
    EXPECT_EQ(bar.PaneBackground(0), QColor(255, 0, 0));
    EXPECT_EQ(bar.PaneBackground(1), QColor(0, 255, 0));
    for (int i = 2; i < CustomStatusBar::kMaxPanes; ++i) {
        EXPECT_EQ(bar.PaneBackground(i), bar.DefaultBackground()) << i;
        EXPECT_EQ(bar.PaneTextColour(i), bar.DefaultText()) << i;
    }
    EXPECT_EQ(bar.PaneTextColour(0), bar.DefaultText());
    EXPECT_EQ(bar.DefaultBackground(), bar.palette().color(QPalette::Button));
}

TEST(StatusBarDialog, CreatedLineShowsResultOnRedThenClearsToButtonFace) {
    TestDialog dlg;
    EXPECT_EQ(dlg.TemplateId(), 4711);
    EXPECT_FALSE(dlg.HasStatusBar());
    dlg.show();
    ASSERT_TRUE(dlg.CreateStatusBar());
    EXPECT_TRUE(dlg.HasStatusBar());
    CustomStatusBar* bar = dlg.StatusBar();
    EXPECT_EQ(bar->property("controlId").toInt(), StatusBarDialog::kStatusBarId);
    ASSERT_EQ(bar->PaneCount(), 1);
    EXPECT_EQ(bar->PaneId(0), 127);
    EXPECT_EQ(bar->PaneStyle(0), CustomStatusBar::kPaneStretch | CustomStatusBar::kPaneOwnerDraw);
    EXPECT_EQ(bar->PaneText(0), QStringLiteral("<result>"));

    // Along the bottom, across the whole width; the controls get the rest.
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->geometry().bottom(), dlg.height() - 1);
    EXPECT_EQ(bar->width(), dlg.width());
    EXPECT_EQ(dlg.ControlArea().bottom(), bar->geometry().top() - 1);
    QRect pane;
    ASSERT_TRUE(bar->GetItemRect(0, &pane));
    EXPECT_GT(pane.width(), dlg.width() - 10);  // stretched over the bar

    QImage image = bar->RenderPane(0);
    ASSERT_EQ(image.size(), pane.adjusted(1, 1, -1, -1).size());
    EXPECT_EQ(image.pixelColor(image.width() - 2, image.height() / 2).rgb(), qRgb(255, 0, 0));
    // The text is drawn: not every pixel is the background.
    EXPECT_NE(image.convertToFormat(QImage::Format_RGB32), [&] {
        QImage plain(image.size(), QImage::Format_RGB32);
        plain.fill(QColor(255, 0, 0));
        return plain;
    }());

    dlg.SetStatusText(QString());
    EXPECT_EQ(bar->PaneText(0), QString());
    EXPECT_EQ(bar->PaneBackground(0), bar->DefaultBackground());
    image = bar->RenderPane(0);
    EXPECT_FALSE(HasColour(image, QColor(255, 0, 0)));
    EXPECT_EQ(image.pixelColor(1, 1).rgb(), bar->DefaultBackground().rgb());
    // What is on the screen is that bitmap.
    const QImage screen = bar->grab().toImage();
    EXPECT_EQ(screen.pixelColor(pane.center()).rgb(), bar->DefaultBackground().rgb());

    // The line follows a resize once the bars are laid out again.
    dlg.resize(520, 260);
    dlg.RepositionBars();
    EXPECT_EQ(bar->geometry().bottom(), 259);
    EXPECT_EQ(bar->width(), 520);
}

TEST(StatusBarDialog, SetStatusTextWithoutStatusLineChangesNothing) {
    TestDialog dlg;
    dlg.show();
    dlg.SetStatusText(QStringLiteral("ignored"));
    EXPECT_FALSE(dlg.HasStatusBar());
    EXPECT_EQ(dlg.StatusBar()->PaneCount(), 0);
    EXPECT_FALSE(dlg.StatusBar()->isVisible());
    EXPECT_EQ(dlg.StatusBar()->PaneBackground(0), QColor(255, 0, 0));
    EXPECT_EQ(dlg.ControlArea(), dlg.rect());
}

TEST(StatusBarDialog, LongTextIsCutAtThePaneEdge) {
    TestDialog dlg;
    dlg.show();
    ASSERT_TRUE(dlg.CreateStatusBar());
    CustomStatusBar* bar = dlg.StatusBar();
    bar->SetPaneColours(0, Qt::white, Qt::black);
    bar->SetPaneText(0, QString(400, QLatin1Char('W')));
    QRect pane;
    ASSERT_TRUE(bar->GetItemRect(0, &pane));
    const QImage image = bar->RenderPane(0);
    ASSERT_EQ(image.width(), pane.width() - 2);
    // The text runs up to the bitmap's last columns...
    EXPECT_TRUE(HasColour(image, Qt::black, QRect(image.width() - 12, 0, 12, image.height())));
    // ...and nothing of it lands right of the pane.
    const QImage screen = bar->grab().toImage();
    const QRect beyond(pane.right() + 1, 0, screen.width() - pane.right() - 1, screen.height());
    if (beyond.width() > 0) {
        EXPECT_FALSE(HasColour(screen, Qt::black, beyond));
    }
}

}  // namespace
