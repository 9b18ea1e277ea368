#include "ZorBaseUIAccessible.h"

#include "ZorCategoryComBox.h"
#include "ZorIconButtonWidget.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

class CategoryComBoxAccessible : public QAccessibleWidget
{
public:
    explicit CategoryComBoxAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::ComboBox)
    {}

    QString text(QAccessible::Text t) const override
    {
        // The value is the chosen category as the picker shows it, empty while none is.
        if (t == QAccessible::Value)
            return ComBox()->text();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        s.expandable = true;
        s.expanded = ComBox()->IsPopupVisible();
        s.collapsed = !s.expanded;
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == showMenuAction() || actionName == pressAction())
            ComBox()->ShowPopup();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    ZorCategoryComBox* ComBox() const { return static_cast<ZorCategoryComBox*>(widget()); }
};

class IconButtonAccessible : public QAccessibleWidget
{
public:
    explicit IconButtonAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Button)
    {}

    QString text(QAccessible::Text t) const override
    {
        QString result = QAccessibleWidget::text(t);
        // Without a name of its own, the button is called what its label says.
        if (t == QAccessible::Name && result.isEmpty())
            result = Button()->GetLabelText()->text();
        return result;
    }

    QVector<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto result = QAccessibleWidget::relations(match);
        // A label elsewhere in the window may name it (Qt looks among siblings only).
        if (!(match & QAccessible::Label))
            return result;
        for (QLabel* label : widget()->window()->findChildren<QLabel*>()) {
            if (label->buddy() == widget() && label->parentWidget() != widget()->parentWidget())
                result.append({QAccessible::queryAccessibleInterface(label), QAccessible::Label});
        }
        return result;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        // The disabled look takes no clicks, like a disabled button.
        s.disabled = s.disabled || Button()->IsDisableStyle();
        return s;
    }

    QStringList actionNames() const override
    {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }

    void doAction(const QString& actionName) override
    {
        if (actionName == pressAction())
            Button()->Click();
        else
            QAccessibleWidget::doAction(actionName);
    }

private:
    ZorIconButtonWidget* Button() const { return static_cast<ZorIconButtonWidget*>(widget()); }
};

QAccessibleInterface* CreateInterface(const QString& className, QObject* object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto* widget = static_cast<QWidget*>(object);
    if (className == QLatin1String("ZorCategoryComBox"))
        return new CategoryComBoxAccessible(widget);
    if (className == QLatin1String("ZorIconButtonWidget"))
        return new IconButtonAccessible(widget);
    return nullptr;
}

} // namespace

void ZorBaseUIAccessible::Install()
{
    static const bool bInstalled = []() {
        QAccessible::installFactory(&CreateInterface);
        return true;
    }();
    Q_UNUSED(bInstalled)
}
