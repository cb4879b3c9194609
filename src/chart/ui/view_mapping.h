#pragma once
// The chart control's mapping between data coordinates and client pixels, and
// the data rectangle that the plot area shows. Plain values, so that the
// paint math can be called and tested without a window.

namespace chart::ui {

// pixel x = originX + x * scaleX; pixel y = originY - y * scaleY (y grows
// upwards). Both scales are finite and positive.
struct ViewMapping {
    double originX = 0.0;
    double originY = 0.0;
    double scaleX = 1.0;
    double scaleY = 1.0;

    double PixelX(double x) const { return originX + x * scaleX; }
    double PixelY(double y) const { return originY - y * scaleY; }
    double DataX(double px) const { return (px - originX) / scaleX; }
    double DataY(double py) const { return (originY - py) / scaleY; }
};

// Data coordinates of the plot area (grown by a pixel or two at its edges).
struct VisibleRange {
    double top = 0.0;
    double bottom = 0.0;
    double left = 0.0;
    double right = 0.0;
};

}  // namespace chart::ui
