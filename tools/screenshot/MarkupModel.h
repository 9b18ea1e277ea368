#pragma once

#include "Markup.h"

#include <QObject>
#include <QUndoStack>

// The marks drawn over a capture, with their undo history. Every change (a shape added, a
// batch of proposed black-outs, a proposal taken away) is one step of the history.
class MarkupModel : public QObject
{
    Q_OBJECT

public:
    explicit MarkupModel(QObject* pParent = nullptr);

    const MarkupShapes& GetShapes() const { return m_shapes; }
    QUndoStack* GetUndoStack() { return &m_undoStack; }

    void Add(const MarkupShape& shape);
    // Several shapes as one step; nothing happens for an empty list.
    void AddAll(const MarkupShapes& shapes);
    // Takes away the shape at index, which must be a proposed black-out.
    bool RemoveProposal(int index);

    void Undo() { m_undoStack.undo(); }
    void Redo() { m_undoStack.redo(); }

signals:
    void SigChanged();

private:
    friend class MarkupCommand;
    void Insert(int index, const MarkupShapes& shapes);
    void Erase(int index, int count);

    MarkupShapes m_shapes;
    QUndoStack m_undoStack;
};
