#include "SelectionToolBar.h"

#include <QHBoxLayout>
#include <QToolButton>

QToolButton* SelectionToolBar::MakeButton(const QString& objectName, const QString& text,
                                          QWidget* pParent)
{
    auto* pButton = new QToolButton(pParent);
    pButton->setObjectName(objectName);
    pButton->setText(text);
    // Keys belong to the overlay: a focused button would swallow Return.
    pButton->setFocusPolicy(Qt::NoFocus);
    pButton->setAutoRaise(true);
    return pButton;
}

SelectionToolBar::SelectionToolBar(QWidget* pParent) : QWidget(pParent)
{
    setObjectName(QStringLiteral("selectionToolBar"));
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);

    auto* pLayout = new QHBoxLayout(this);
    pLayout->setContentsMargins(2, 2, 2, 2);
    pLayout->setSpacing(2);
    QToolButton* pOk = MakeButton(QStringLiteral("okButton"), tr("OK"), this);
    QToolButton* pCancel = MakeButton(QStringLiteral("cancelButton"), tr("Cancel"), this);
    pLayout->addWidget(pOk);
    pLayout->addWidget(pCancel);

    connect(pOk, &QToolButton::clicked, this, &SelectionToolBar::SigConfirm);
    connect(pCancel, &QToolButton::clicked, this, &SelectionToolBar::SigCancel);
}
