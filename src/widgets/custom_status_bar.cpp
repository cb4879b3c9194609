#include "widgets/custom_status_bar.h"

#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>

namespace widgets {

namespace {

// The texts of the status panes' string ids.
QString PaneIdText(int id) {
    switch (id) {
        case 127:
            return QStringLiteral("<result>");
        default:
            return QString();
    }
}

constexpr int kPaneGap = 2;  // between two panes
constexpr int kBorderX = 2;  // left of the first pane, right of the last
constexpr int kBorderY = 2;  // above and below the panes

}  // namespace

CustomStatusBar::CustomStatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    for (int i = 0; i < kMaxPanes; ++i) {
        paneBackground_[i] = DefaultBackground();
        paneText_[i] = DefaultText();
    }
    paneBackground_[0] = QColor(255, 0, 0);
    paneBackground_[1] = QColor(0, 255, 0);
}

CustomStatusBar::~CustomStatusBar() = default;

QColor CustomStatusBar::DefaultBackground() const {
    return palette().color(QPalette::Button);
}
QColor CustomStatusBar::DefaultText() const {
    return palette().color(QPalette::ButtonText);
}

bool CustomStatusBar::SetIndicators(const std::vector<int>& ids) {
    if (ids.size() > static_cast<size_t>(kMaxPanes))
        return false;
    panes_.clear();
    for (int id : ids) {
        Pane p;
        p.id = id;
        p.text = PaneIdText(id);
        p.width = fontMetrics().horizontalAdvance(p.text) + 8;
        panes_.push_back(p);
    }
    update();
    return true;
}

void CustomStatusBar::SetPaneInfo(int index, int id, unsigned style, int width) {
    if (index < 0 || index >= PaneCount())
        return;
    Pane& p = panes_[static_cast<size_t>(index)];
    p.id = id;
    p.style = style;
    p.width = width;
    update();
}

int CustomStatusBar::PaneId(int index) const {
    return index >= 0 && index < PaneCount() ? panes_[static_cast<size_t>(index)].id : 0;
}

unsigned CustomStatusBar::PaneStyle(int index) const {
    return index >= 0 && index < PaneCount() ? panes_[static_cast<size_t>(index)].style : 0;
}

void CustomStatusBar::SetPaneText(int index, const QString& text, bool doUpdate) {
    if (index < 0 || index >= PaneCount())
        return;
    panes_[static_cast<size_t>(index)].text = text;
    if (doUpdate) {
        QRect r;
        if (GetItemRect(index, &r))
            update(r);
    }
}

QString CustomStatusBar::PaneText(int index) const {
    return index >= 0 && index < PaneCount() ? panes_[static_cast<size_t>(index)].text : QString();
}

void CustomStatusBar::SetPaneColours(int index, const QColor& background, const QColor& text) {
    if (index < 0 || index >= kMaxPanes)
        return;
    paneBackground_[index] = background;
    paneText_[index] = text;
}

std::vector<QRect> CustomStatusBar::PaneRects() const {
    std::vector<QRect> rects;
    const int n = PaneCount();
    if (n == 0)
        return rects;
    const int top = kBorderY;
    const int height = std::max(0, this->height() - 2 * kBorderY);
    int fixed = 0, stretchers = 0;
    for (const Pane& p : panes_) {
        if (p.style & kPaneStretch) {
            ++stretchers;
        } else {
            fixed += p.width;
        }
    }
    const int available = width() - 2 * kBorderX - (n - 1) * kPaneGap;
    const int spare = std::max(0, available - fixed);
    int x = kBorderX;
    int given = 0;
    for (const Pane& p : panes_) {
        int w = p.width;
        if (p.style & kPaneStretch) {
            // The last stretching pane takes the rounding remainder.
            w = --stretchers == 0 ? spare - given : spare / std::max(1, stretchers + 1);
            given += w;
        }
        rects.emplace_back(x, top, std::max(0, w), height);
        x += w + kPaneGap;
    }
    return rects;
}

bool CustomStatusBar::GetItemRect(int index, QRect* rect) const {
    if (index < 0 || index >= PaneCount())
        return false;
    *rect = PaneRects()[static_cast<size_t>(index)];
    return true;
}

QImage CustomStatusBar::RenderPane(int index) const {
    QRect r;
    if (!GetItemRect(index, &r))
        return QImage();
    r.adjust(1, 1, -1, -1);
    if (r.width() <= 0 || r.height() <= 0)
        return QImage();
    // Made at the screen's pixel density, so the text is not scaled up.
    const qreal ratio = devicePixelRatioF();
    QImage image((QSizeF(r.size()) * ratio).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(paneBackground_[Clamp(index)]);
    QPainter p(&image);
    p.setFont(font());
    p.setPen(paneText_[Clamp(index)]);
    p.setBackgroundMode(Qt::TransparentMode);
    // At the left edge plus one pixel and the top edge; what does not fit
    // is cut at the bitmap's border.
    const QFontMetrics fm(font());
    p.drawText(QPoint(1, fm.ascent()), PaneText(index));
    return image;
}

void CustomStatusBar::DrawItem(QPainter& painter, int index, const QRect& rect) {
    const QImage image = RenderPane(index);
    if (!image.isNull())
        painter.drawImage(rect.adjusted(1, 1, -1, -1).topLeft(), image);
}

void CustomStatusBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const std::vector<QRect> rects = PaneRects();
    for (int i = 0; i < PaneCount(); ++i) {
        const QRect& r = rects[static_cast<size_t>(i)];
        if (r.isEmpty())
            continue;
        if (PaneStyle(i) & kPaneOwnerDraw) {
            DrawItem(painter, i, r);
            continue;
        }
        QStyleOptionFrame frame;
        frame.initFrom(this);
        frame.rect = r;
        frame.frameShape = QFrame::Panel;
        frame.state |= QStyle::State_Sunken;
        style()->drawPrimitive(QStyle::PE_FrameStatusBarItem, &frame, &painter, this);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(r.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter, PaneText(i));
    }
}

QSize CustomStatusBar::sizeHint() const {
    const int h = fontMetrics().height() + 2 * kBorderY + 4;
    return QSize(parentWidget() ? parentWidget()->width() : 200, h);
}

QSize CustomStatusBar::minimumSizeHint() const {
    return QSize(0, sizeHint().height());
}

}  // namespace widgets
