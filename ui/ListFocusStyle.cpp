#include "ui/ListFocusStyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QPainter>
#include <QPen>
#include <QStyleFactory>
#include <QStyleOption>

TListFocusStyle::TListFocusStyle(QAbstractItemView& view)
    // A style of the application's kind: a proxy without a base would take
    // the desktop's default, whatever style the application chose.
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name())), view_(view) {
    setParent(&view);
}

void TListFocusStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    // The view draws the frame of its current row without naming itself.
    const QItemSelectionModel* selection = view_.selectionModel();
    if (element != PE_FrameFocusRect || selection == nullptr ||
        selection->isSelected(view_.currentIndex())) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    painter->save();
    QPen pen(option->palette.color(QPalette::Text), 1, Qt::DotLine);
    pen.setCosmetic(true);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
    painter->restore();
}
