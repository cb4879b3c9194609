#pragma once
// A row of seven-segment digits showing an unsigned number, or dashes when
// there is no value. The picture is cached: the gauge stream repaints often,
// and only a change of setting or size draws the digits again.

#include <QColor>
#include <QImage>
#include <QWidget>

#include <cstdint>

namespace bake::ui {

class SegmentDisplay : public QWidget {
    Q_OBJECT
public:
    explicit SegmentDisplay(QWidget* parent = nullptr);

    void SetDigitCount(uint32_t count);
    void SetColors(const QColor& background, const QColor& lit, const QColor& unlit);
    void SetBlank();
    void SetValue(uint64_t value);

    uint32_t DigitCount() const { return digitCount_; }
    uint64_t Value() const { return value_; }
    bool IsBlank() const { return blank_; }
    bool IsDirty() const { return dirty_; }
    // How often the digits were drawn into the cached picture.
    int RenderCount() const { return renderCount_; }

    // The picture for a client area of this size, drawn from scratch.
    QImage Render(const QSize& size) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawPicture(QImage& image) const;

    uint32_t digitCount_ = 1;
    uint64_t value_ = 0;
    bool blank_ = true;
    bool dirty_ = true;
    QColor background_{0, 0, 0};
    QColor lit_{200, 200, 200};
    QColor unlit_{10, 10, 10};
    QImage cache_;
    int renderCount_ = 0;
};

}  // namespace bake::ui
