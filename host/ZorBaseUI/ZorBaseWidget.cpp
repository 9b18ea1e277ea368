#include "ZorBaseWidget.h"

#include <QPainter>
#include <QStyleOption>

ZorBaseWidget::ZorBaseWidget(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{}

void ZorBaseWidget::paintEvent(QPaintEvent* event)
{
    // A plain QWidget subclass ignores style sheet backgrounds and borders unless it draws
    // the widget primitive itself.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
    QWidget::paintEvent(event);
}
