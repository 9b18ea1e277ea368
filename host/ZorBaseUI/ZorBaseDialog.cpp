#include "ZorBaseDialog.h"

#include "DpiTool.h"
#include "ZorBaseWidget.h"
#include "ZorSkin.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

// Design sizes, scaled at the current screen scale.
constexpr int kTitleHeight = 44;
constexpr int kCloseButtonSize = 24;
constexpr int kTitleMarginLeft = 20;
constexpr int kTitleMarginRight = 12;
// The frame's border, painted by the style sheet; children stay inside it.
constexpr int kBorderWidth = 1;

} // namespace

ZorBaseDialog::ZorBaseDialog(QWidget* parent, Qt::WindowFlags flags,
                             BaseDialogTitle::BaseTitleType titleType, bool bModal)
    : QDialog(parent, flags | Qt::Dialog | Qt::FramelessWindowHint)
    , IDpiAdapter(true)
    , m_titleType(titleType)
{
    // The host's look is the application's: installed by the first dialog, not per window.
    ZorSkin::Install();
    setModal(bModal);
    setAttribute(Qt::WA_StyledBackground);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kBorderWidth, kBorderWidth, kBorderWidth, kBorderWidth);
    layout->setSpacing(0);

    if (m_titleType != BaseDialogTitle::TitleNone) {
        m_titleBar = new ZorBaseWidget(this);
        m_titleBar->setObjectName(QStringLiteral("baseTitleBar"));
        m_titleLabel = new QLabel(m_titleBar);
        m_titleLabel->setObjectName(QStringLiteral("baseTitleLabel"));
        m_titleLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        m_closeButton = new QPushButton(m_titleBar);
        m_closeButton->setObjectName(QStringLiteral("baseCloseButton"));
        m_closeButton->setCursor(Qt::PointingHandCursor);
        m_closeButton->setFocusPolicy(Qt::NoFocus);
        connect(m_closeButton, &QPushButton::clicked, this, &ZorBaseDialog::SlotClose);

        auto* titleLayout = new QHBoxLayout(m_titleBar);
        titleLayout->setSpacing(0);
        titleLayout->addWidget(m_titleLabel, 1);
        titleLayout->addWidget(m_closeButton, 0, Qt::AlignVCenter);
        layout->addWidget(m_titleBar);
    }

    m_contentWidget = new QWidget(this);
    m_contentWidget->setObjectName(QStringLiteral("baseContentWidget"));
    layout->addWidget(m_contentWidget, 1);

    RetranslateFrame();
    AdjustForDpi();
}

ZorBaseDialog::~ZorBaseDialog() = default;

void ZorBaseDialog::SetTitleText(const QString& text, bool bCenter)
{
    setWindowTitle(text);
    if (!m_titleLabel)
        return;
    m_titleLabel->setText(text);
    m_titleLabel->setAlignment((bCenter ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
    // Only the title bar follows its text; a subclass may call this before its own widgets
    // exist, so its override must not run from here.
    ZorBaseDialog::AdjustForDpi();
}

QString ZorBaseDialog::GetTitleText() const
{
    return windowTitle();
}

int ZorBaseDialog::exec()
{
    return QDialog::exec();
}

void ZorBaseDialog::AdjustForDpi()
{
    if (m_titleType == BaseDialogTitle::TitleNone)
        return;
    m_titleBar->setFixedHeight(DpiTool::ScaleDefault(kTitleHeight));
    m_closeButton->setFixedSize(DpiTool::ScaleDefault(QSize(kCloseButtonSize, kCloseButtonSize)));
    m_titleBar->layout()->setContentsMargins(DpiTool::ScaleDefault(kTitleMarginLeft), 0,
                                             DpiTool::ScaleDefault(kTitleMarginRight), 0);
    // A centred title is centred on the whole bar, not on what the close button leaves.
    const bool bCenter = m_titleLabel->alignment() & Qt::AlignHCenter;
    const int balance =
        bCenter ? DpiTool::ScaleDefault(kCloseButtonSize + kTitleMarginRight - kTitleMarginLeft)
                : 0;
    m_titleLabel->setContentsMargins(qMax(0, balance), 0, 0, 0);
}

void ZorBaseDialog::ChangeSkin(const QString& skinName)
{
    // The skin is the application's: switching it here restyles every window at once.
    ZorSkin::ChangeSkin(skinName);
}

bool ZorBaseDialog::IsMovable() const
{
    return true;
}

void ZorBaseDialog::SlotClose()
{
    close();
}

QWidget* ZorBaseDialog::GetContentWidget() const
{
    return m_contentWidget;
}

void ZorBaseDialog::mousePressEvent(QMouseEvent* event)
{
    // Presses on the title label and the bar's empty space arrive here; the close button
    // takes its own.
    if (event->button() == Qt::LeftButton && m_titleBar && IsMovable() &&
        m_titleBar->geometry().contains(event->pos())) {
        m_bDragging = true;
        m_dragOffset = event->globalPos() - pos();
        event->accept();
        return;
    }
    QDialog::mousePressEvent(event);
}

void ZorBaseDialog::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bDragging) {
        move(event->globalPos() - m_dragOffset);
        event->accept();
        return;
    }
    QDialog::mouseMoveEvent(event);
}

void ZorBaseDialog::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_bDragging && event->button() == Qt::LeftButton) {
        m_bDragging = false;
        event->accept();
        return;
    }
    QDialog::mouseReleaseEvent(event);
}

void ZorBaseDialog::keyPressEvent(QKeyEvent* event)
{
    // Esc goes through SlotClose so a subclass that guards closing sees it too.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        SlotClose();
        return;
    }
    QDialog::keyPressEvent(event);
}

void ZorBaseDialog::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void ZorBaseDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
}

void ZorBaseDialog::showEvent(QShowEvent* event)
{
    m_bDragging = false;
    QDialog::showEvent(event);
}

void ZorBaseDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        RetranslateFrame();
    // A drag cannot survive losing the window's activation (another window took the mouse).
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        m_bDragging = false;
    QDialog::changeEvent(event);
}

void ZorBaseDialog::RetranslateFrame()
{
    if (m_closeButton) {
        m_closeButton->setToolTip(tr("Close"));
        m_closeButton->setAccessibleName(tr("Close"));
    }
}
