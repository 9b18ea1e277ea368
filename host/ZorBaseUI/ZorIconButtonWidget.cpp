#include "ZorIconButtonWidget.h"

#include "DpiTool.h"
#include "UIUtils.h"
#include "ZorBaseUIAccessible.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

namespace {

// Design size, scaled at the current screen scale.
constexpr int kIconSize = 16;

} // namespace

ZorIconButtonWidget::ZorIconButtonWidget(QWidget* parent)
    : ZorBaseWidget(parent)
    , IDpiAdapter(true)
    , m_layout(new QHBoxLayout(this))
    , m_iconLabel(new QLabel(this))
    , m_textLabel(new QLabel(this))
{
    ZorBaseUIAccessible::Install();
    m_iconLabel->setObjectName(QStringLiteral("iconLabel"));
    m_textLabel->setObjectName(QStringLiteral("textLabel"));
    m_iconLabel->setAlignment(Qt::AlignCenter);
    m_textLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    m_layout->addWidget(m_iconLabel);
    m_layout->addWidget(m_textLabel);

    // As large as icon, text and margins need, like a push button; never stretched.
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    // :hover rules need hover events, which plain widgets do not get.
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
    setProperty("disableStyle", false);
    AdjustForDpi();
}

void ZorIconButtonWidget::SetIcon(const QPixmap& pixmap)
{
    m_iconLabel->setPixmap(pixmap);
}

QLabel* ZorIconButtonWidget::GetIconLabel() const
{
    return m_iconLabel;
}

QLabel* ZorIconButtonWidget::GetLabelText() const
{
    return m_textLabel;
}

void ZorIconButtonWidget::SetSpacing(int spacing)
{
    m_spacing = spacing;
    AdjustForDpi();
}

void ZorIconButtonWidget::SetContentsMargins(int left, int top, int right, int bottom)
{
    m_margins = QMargins(left, top, right, bottom);
    AdjustForDpi();
}

void ZorIconButtonWidget::SetDisableStyle(bool bDisable)
{
    m_bDisableStyle = bDisable;
    setProperty("disableStyle", bDisable);
}

bool ZorIconButtonWidget::IsDisableStyle() const
{
    return m_bDisableStyle;
}

void ZorIconButtonWidget::UpdateStyle()
{
    UIUtils::UpdateStyle(this);
}

void ZorIconButtonWidget::Click()
{
    if (!m_bDisableStyle)
        emit SigClicked();
}

void ZorIconButtonWidget::AdjustForDpi()
{
    m_layout->setSpacing(DpiTool::ScaleDefault(m_spacing));
    m_layout->setContentsMargins(
        DpiTool::ScaleDefault(m_margins.left()), DpiTool::ScaleDefault(m_margins.top()),
        DpiTool::ScaleDefault(m_margins.right()), DpiTool::ScaleDefault(m_margins.bottom()));
    m_iconLabel->setFixedSize(DpiTool::ScaleDefault(QSize(kIconSize, kIconSize)));
}

void ZorIconButtonWidget::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        ZorBaseWidget::mousePressEvent(event);
        return;
    }
    m_bPressed = true;
    event->accept();
}

void ZorIconButtonWidget::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !m_bPressed) {
        ZorBaseWidget::mouseReleaseEvent(event);
        return;
    }
    m_bPressed = false;
    event->accept();
    // Like a push button: releasing outside cancels the click. The disabled look is read at
    // release, so a button that turned disabled while held does not fire.
    if (rect().contains(event->pos()))
        Click();
}

void ZorIconButtonWidget::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key != Qt::Key_Space && key != Qt::Key_Enter && key != Qt::Key_Return) {
        ZorBaseWidget::keyPressEvent(event);
        return;
    }
    event->accept();
    if (!event->isAutoRepeat())
        Click();
}
