#include "UIUtils.h"

#include "ZorSkin.h"

#include <QStyle>
#include <QWidget>

void UIUtils::UpdateStyle(QWidget* widget)
{
    if (!widget)
        return;
    // Rules may address children through the widget's property ("[disableStyle=true]
    // #textLabel"), so the children are re-polished as well.
    QList<QWidget*> widgets{widget};
    widgets += widget->findChildren<QWidget*>();
    for (QWidget* w : qAsConst(widgets)) {
        QStyle* style = w->style();
        style->unpolish(w);
        style->polish(w);
        w->update();
    }
}

void UIUtils::SetForeground(QWidget* widget, bool bForeground)
{
    if (!widget)
        return;
    QWidget* window = widget->window();
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    if (bForeground)
        window->activateWindow();
}

QString UIUtils::DefaultStyleSheet()
{
    return ZorSkin::StyleSheet(ZorSkin::CurrentSkin());
}
