#pragma once

#include <QProxyStyle>

class QAbstractItemView;

// The style of a list whose current row may stand without a selection (the
// main list after a refill: the keys start from that row, yet no task is
// chosen). There the style's own focus frame, which Fusion and others draw
// in the highlight colour, would read as a selection; such a row gets a
// dotted frame in the text colour instead. A selected row is drawn as the
// application's style draws it.
class TListFocusStyle : public QProxyStyle {
    Q_OBJECT

public:
    // A child of `view`, for view.setStyle().
    explicit TListFocusStyle(QAbstractItemView& view);

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    QAbstractItemView& view_;
};
