#include "ZorPushButton.h"

#include "UIUtils.h"

#include <QVariant>

ZorPushButton::ZorPushButton(QWidget* parent, ButtonType type, Zor::BaseUIBusiness business)
    : QPushButton(parent), m_type(type), m_business(business)
{
    setCursor(Qt::PointingHandCursor);
    // In a dialog an auto-default button would be clicked by Enter in any line edit; the
    // host's buttons act on clicks only.
    setAutoDefault(false);
    setProperty("buttonType", static_cast<int>(m_type));
    setProperty("business", static_cast<int>(m_business));
}

void ZorPushButton::SetButtonType(ButtonType type)
{
    m_type = type;
    setProperty("buttonType", static_cast<int>(m_type));
    UIUtils::UpdateStyle(this);
}

ZorPushButton::ButtonType ZorPushButton::GetButtonType() const
{
    return m_type;
}

void ZorPushButton::SetBusiness(Zor::BaseUIBusiness business)
{
    m_business = business;
    setProperty("business", static_cast<int>(m_business));
    UIUtils::UpdateStyle(this);
}

Zor::BaseUIBusiness ZorPushButton::GetBusiness() const
{
    return m_business;
}
