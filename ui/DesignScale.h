#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QString>

#include <algorithm>
#include <cmath>

namespace ui {

// The windows are designed in pixels for an 8-point font at 96 dots per inch.
// One factor for a whole window keeps the design's arrangement: large enough
// for the window's font and for every text it is told about to fit the room
// the design gives it.
class TDesignScale {
public:
    explicit TDesignScale(const QFont& font)
        : metrics_(font), factor_(std::max(1.0, metrics_.height() / DesignTextHeight)) {}

    // `needed` pixels fit `designRoom` design pixels.
    void Fit(double needed, double designRoom) { factor_ = std::max(factor_, needed / designRoom); }
    // The text, with an average character's room on either side, fits.
    void FitText(const QString& text, double designRoom) {
        Fit(metrics_.horizontalAdvance(text) + 2.0 * metrics_.averageCharWidth(), designRoom);
    }
    double Factor() const { return factor_; }

private:
    // Line height of the design's font.
    static constexpr double DesignTextHeight = 13.0;
    QFontMetricsF metrics_;
    double factor_;
};

// Design pixels to pixels with a window's factor.
inline int ScaledPixels(int designPixels, double factor) {
    return static_cast<int>(std::lround(designPixels * factor));
}

} // namespace ui
