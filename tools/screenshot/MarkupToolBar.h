#pragma once

#include "Markup.h"

#include <QColor>
#include <QVector>
#include <QWidget>

class QButtonGroup;
class QToolButton;

// The column of mark-up tools shown beside a finished selection: rectangle, arrow,
// highlighter, text and black-out, the colour of the first four, undo, redo and "Hide numbers".
class MarkupToolBar : public QWidget
{
    Q_OBJECT

public:
    explicit MarkupToolBar(QWidget* pParent);

    // False while no tool is chosen: then a drag moves or redraws the selection.
    bool GetTool(MarkupShape::Kind* pKind) const;
    QColor GetColour() const { return m_colour; }

    void SetUndoEnabled(bool bEnabled);
    void SetRedoEnabled(bool bEnabled);
    // bVisible false hides the action where no number finder exists.
    void SetHideNumbers(bool bVisible, bool bEnabled, const QString& toolTip);

    // The colours offered, the first being the one chosen at the start.
    static QVector<QColor> Colours();

signals:
    void SigUndo();
    void SigRedo();
    void SigHideNumbers();

private:
    void SetColour(const QColor& colour);

    QButtonGroup* m_pTools = nullptr;
    QToolButton* m_pColourButton = nullptr;
    QToolButton* m_pUndoButton = nullptr;
    QToolButton* m_pRedoButton = nullptr;
    QToolButton* m_pHideNumbersButton = nullptr;
    QColor m_colour;
};
