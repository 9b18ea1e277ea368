#include "UIUtils.h"

#include <QFile>
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
    static const QString sheet = []() {
        QFile file(QStringLiteral(":/zorbaseui/zorbaseui.qss"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return QString();
        return QString::fromUtf8(file.readAll());
    }();
    return sheet;
}
