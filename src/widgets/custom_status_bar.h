#pragma once
// A status bar that draws its owner-drawn panes itself, each in its own
// background and text colour, off screen and copied in one go (no flicker
// when a dialog rewrites its result line quickly).

#include <QColor>
#include <QImage>
#include <QStatusBar>
#include <QString>

#include <vector>

namespace widgets {

class CustomStatusBar : public QStatusBar {
    Q_OBJECT
public:
    static constexpr int kMaxPanes = 10;
    // Pane styles.
    static constexpr unsigned kPaneNormal = 0;
    static constexpr unsigned kPaneStretch = 1;    // takes the width left over
    static constexpr unsigned kPaneOwnerDraw = 2;  // drawn by DrawItem

    explicit CustomStatusBar(QWidget* parent = nullptr);
    ~CustomStatusBar() override;

    // One pane per id, its text the id's string (an unknown id: empty).
    bool SetIndicators(const std::vector<int>& ids);
    void SetPaneInfo(int index, int id, unsigned style, int width);
    int PaneCount() const { return static_cast<int>(panes_.size()); }
    int PaneId(int index) const;
    unsigned PaneStyle(int index) const;

    void SetPaneText(int index, const QString& text, bool update = true);
    QString PaneText(int index) const;
    // The pane's rectangle in the bar; false for a pane that does not exist.
    bool GetItemRect(int index, QRect* rect) const;

    QColor PaneBackground(int index) const { return paneBackground_[Clamp(index)]; }
    QColor PaneTextColour(int index) const { return paneText_[Clamp(index)]; }
    void SetPaneColours(int index, const QColor& background, const QColor& text);
    // The system's button face and button text colours.
    QColor DefaultBackground() const;
    QColor DefaultText() const;

    // What DrawItem puts on the screen for a pane: the off-screen bitmap of
    // the pane's rectangle shrunk by one pixel on every side.
    QImage RenderPane(int index) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    // Draws an owner-drawn pane.
    virtual void DrawItem(QPainter& painter, int index, const QRect& rect);
    void paintEvent(QPaintEvent* event) override;

private:
    struct Pane {
        int id = 0;
        unsigned style = kPaneNormal;
        int width = 0;
        QString text;
    };
    static int Clamp(int index) {
        return index < 0 ? 0 : (index >= kMaxPanes ? kMaxPanes - 1 : index);
    }
    std::vector<QRect> PaneRects() const;

    std::vector<Pane> panes_;
    QColor paneBackground_[kMaxPanes];
    QColor paneText_[kMaxPanes];
};

}  // namespace widgets
