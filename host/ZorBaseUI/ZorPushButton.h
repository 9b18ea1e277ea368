#pragma once

#include "zorbaseui_export.h"

#include <QPushButton>

namespace Zor {
// Which product area a control belongs to; selects a family of looks in the style sheet.
enum BaseUIBusiness {
    BusinessDefault = 0,
    BusinessMerchant = 1,
};
} // namespace Zor

// A push button whose look is chosen by its type and business value, exposed to the style
// sheet as the dynamic properties "buttonType" and "business" (ints).
class ZORBASEUI_EXPORT ZorPushButton : public QPushButton
{
    Q_OBJECT
public:
    enum ButtonType {
        TypeDefault = 0,
        TypePrimary = 1, // the main action (filled)
        TypeDanger = 2,
        TypeSecondary = 3, // outlined, e.g. Cancel
        TypeText = 4,      // looks like a link
    };
    Q_ENUM(ButtonType)

    explicit ZorPushButton(QWidget* parent = nullptr, ButtonType type = TypeDefault,
                           Zor::BaseUIBusiness business = Zor::BusinessDefault);

    // Both restyle the button at once.
    void SetButtonType(ButtonType type);
    ButtonType GetButtonType() const;
    void SetBusiness(Zor::BaseUIBusiness business);
    Zor::BaseUIBusiness GetBusiness() const;

private:
    ButtonType m_type;
    Zor::BaseUIBusiness m_business;
};
