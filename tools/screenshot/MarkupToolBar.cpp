#include "MarkupToolBar.h"

#include "SelectionToolBar.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int kIconSize = 20;

// Icons only, so the column stays narrow; the name is the tool tip and the accessible name.
QToolButton* MakeButton(const QString& objectName, const QString& name, const QIcon& icon,
                        QWidget* pParent)
{
    QToolButton* pButton = SelectionToolBar::MakeButton(objectName, name, pParent);
    pButton->setToolTip(name);
    pButton->setAccessibleName(name);
    pButton->setIcon(icon);
    pButton->setIconSize(QSize(kIconSize, kIconSize));
    pButton->setToolButtonStyle(Qt::ToolButtonIconOnly);
    return pButton;
}

// A tool's icon is the mark it makes, drawn by the same code as the picture's marks.
QIcon ToolIcon(MarkupShape::Kind eKind)
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    MarkupShape shape;
    shape.eKind = eKind;
    shape.colour = QColor(40, 40, 40);
    shape.size = 2;
    switch (eKind) {
    case MarkupShape::Kind::Rectangle:
        shape.rect = QRect(2, 4, 16, 12);
        break;
    case MarkupShape::Kind::Arrow:
        shape.points = {QPoint(3, 17), QPoint(17, 3)};
        break;
    case MarkupShape::Kind::Highlighter:
        shape.colour = QColor(230, 180, 0);
        shape.size = 7;
        shape.points = {QPoint(3, 14), QPoint(8, 8), QPoint(12, 12), QPoint(17, 6)};
        break;
    case MarkupShape::Kind::Text:
        shape.size = 16;
        shape.text = QStringLiteral("T");
        shape.rect = QRect(5, 1, 1, 1);
        break;
    case MarkupShape::Kind::BlackOut:
        shape = MarkupShape::BlackOut(QRect(3, 5, 14, 10));
        break;
    }
    QPainter painter(&pixmap);
    PaintMarkup(painter, {shape});
    return QIcon(pixmap);
}

// A glyph or two drawn large, for the actions that are not marks.
QIcon GlyphIcon(const QString& glyph, int pixelSize)
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(pixelSize);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// Digits with a black bar through them.
QIcon HideNumbersIcon()
{
    QPixmap pixmap = GlyphIcon(QStringLiteral("123"), 9).pixmap(kIconSize, kIconSize);
    QPainter painter(&pixmap);
    painter.fillRect(QRect(2, 9, 16, 5), Qt::black);
    return QIcon(pixmap);
}

QIcon SwatchIcon(const QColor& colour)
{
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(QColor(90, 90, 90));
    painter.setBrush(colour);
    painter.drawRect(QRect(3, 3, 13, 13));
    return QIcon(pixmap);
}

} // namespace

MarkupToolBar::MarkupToolBar(QWidget* pParent) : QWidget(pParent)
{
    setObjectName(QStringLiteral("markupToolBar"));
    setCursor(Qt::ArrowCursor);
    setAutoFillBackground(true);

    auto* pLayout = new QVBoxLayout(this);
    pLayout->setContentsMargins(2, 2, 2, 2);
    pLayout->setSpacing(2);

    // A chosen tool is chosen again to put it down; the group only keeps the others up.
    m_pTools = new QButtonGroup(this);
    m_pTools->setExclusive(false);
    const struct
    {
        MarkupShape::Kind eKind;
        const char* objectName;
        QString name;
    } tools[] = {
        {MarkupShape::Kind::Rectangle, "rectangleTool", tr("Rectangle")},
        {MarkupShape::Kind::Arrow, "arrowTool", tr("Arrow")},
        {MarkupShape::Kind::Highlighter, "highlighterTool", tr("Highlighter")},
        {MarkupShape::Kind::Text, "textTool", tr("Text")},
        {MarkupShape::Kind::BlackOut, "blackOutTool", tr("Black out (nothing under it is kept)")},
    };
    for (const auto& tool : tools) {
        QToolButton* pButton =
            MakeButton(QString::fromLatin1(tool.objectName), tool.name, ToolIcon(tool.eKind), this);
        pButton->setCheckable(true);
        m_pTools->addButton(pButton, int(tool.eKind));
        pLayout->addWidget(pButton);
    }
    connect(m_pTools, QOverload<QAbstractButton*, bool>::of(&QButtonGroup::buttonToggled), this,
            [this](QAbstractButton* pButton, bool bOn) {
                if (!bOn)
                    return;
                for (QAbstractButton* pOther : m_pTools->buttons()) {
                    if (pOther != pButton)
                        pOther->setChecked(false);
                }
            });

    m_pColourButton = MakeButton(QStringLiteral("colourButton"), tr("Colour"), QIcon(), this);
    m_pColourButton->setPopupMode(QToolButton::InstantPopup);
    auto* pMenu = new QMenu(m_pColourButton);
    for (const QColor& colour : Colours()) {
        QAction* pAction = pMenu->addAction(SwatchIcon(colour), colour.name());
        pAction->setObjectName(QStringLiteral("colour") + colour.name());
        connect(pAction, &QAction::triggered, this, [this, colour] { SetColour(colour); });
    }
    m_pColourButton->setMenu(pMenu);
    pLayout->addWidget(m_pColourButton);
    SetColour(Colours().constFirst());

    m_pUndoButton = MakeButton(QStringLiteral("undoButton"), tr("Undo (Ctrl+Z)"),
                               GlyphIcon(QStringLiteral("\u21B6"), 16), this);
    m_pRedoButton = MakeButton(QStringLiteral("redoButton"), tr("Redo (Ctrl+Shift+Z)"),
                               GlyphIcon(QStringLiteral("\u21B7"), 16), this);
    m_pUndoButton->setEnabled(false);
    m_pRedoButton->setEnabled(false);
    pLayout->addWidget(m_pUndoButton);
    pLayout->addWidget(m_pRedoButton);

    m_pHideNumbersButton = MakeButton(QStringLiteral("hideNumbersButton"), tr("Hide numbers"),
                                      HideNumbersIcon(), this);
    m_pHideNumbersButton->hide();
    pLayout->addWidget(m_pHideNumbersButton);

    connect(m_pUndoButton, &QToolButton::clicked, this, &MarkupToolBar::SigUndo);
    connect(m_pRedoButton, &QToolButton::clicked, this, &MarkupToolBar::SigRedo);
    connect(m_pHideNumbersButton, &QToolButton::clicked, this, &MarkupToolBar::SigHideNumbers);
}

bool MarkupToolBar::GetTool(MarkupShape::Kind* pKind) const
{
    for (QAbstractButton* pButton : m_pTools->buttons()) {
        if (pButton->isChecked()) {
            *pKind = MarkupShape::Kind(m_pTools->id(pButton));
            return true;
        }
    }
    return false;
}

void MarkupToolBar::SetUndoEnabled(bool bEnabled)
{
    m_pUndoButton->setEnabled(bEnabled);
}

void MarkupToolBar::SetRedoEnabled(bool bEnabled)
{
    m_pRedoButton->setEnabled(bEnabled);
}

void MarkupToolBar::SetHideNumbers(bool bVisible, bool bEnabled, const QString& toolTip)
{
    m_pHideNumbersButton->setVisible(bVisible);
    m_pHideNumbersButton->setEnabled(bEnabled);
    m_pHideNumbersButton->setToolTip(toolTip);
}

QVector<QColor> MarkupToolBar::Colours()
{
    return {QColor(230, 30, 30),  QColor(255, 200, 0),   QColor(30, 170, 60),
            QColor(30, 110, 230), QColor(255, 255, 255), QColor(20, 20, 20)};
}

void MarkupToolBar::SetColour(const QColor& colour)
{
    m_colour = colour;
    m_pColourButton->setIcon(SwatchIcon(colour));
}
