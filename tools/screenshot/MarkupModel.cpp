#include "MarkupModel.h"

#include <QUndoCommand>

// Inserts shapes at an index on redo and takes them out again on undo, or the other way round.
class MarkupCommand : public QUndoCommand
{
public:
    MarkupCommand(MarkupModel* pModel, int index, const MarkupShapes& shapes, bool bInsert)
        : m_pModel(pModel), m_index(index), m_shapes(shapes), m_bInsert(bInsert)
    {}

    void redo() override { Apply(m_bInsert); }
    void undo() override { Apply(!m_bInsert); }

private:
    void Apply(bool bInsert)
    {
        if (bInsert)
            m_pModel->Insert(m_index, m_shapes);
        else
            m_pModel->Erase(m_index, m_shapes.size());
    }

    MarkupModel* m_pModel;
    int m_index;
    MarkupShapes m_shapes;
    bool m_bInsert;
};

MarkupModel::MarkupModel(QObject* pParent) : QObject(pParent)
{}

void MarkupModel::Add(const MarkupShape& shape)
{
    AddAll({shape});
}

void MarkupModel::AddAll(const MarkupShapes& shapes)
{
    if (shapes.isEmpty())
        return;
    m_undoStack.push(new MarkupCommand(this, m_shapes.size(), shapes, true));
}

bool MarkupModel::RemoveProposal(int index)
{
    if (index < 0 || index >= m_shapes.size() || !m_shapes.at(index).bProposed)
        return false;
    m_undoStack.push(new MarkupCommand(this, index, {m_shapes.at(index)}, false));
    return true;
}

void MarkupModel::Insert(int index, const MarkupShapes& shapes)
{
    for (int i = 0; i < shapes.size(); ++i)
        m_shapes.insert(index + i, shapes.at(i));
    emit SigChanged();
}

void MarkupModel::Erase(int index, int count)
{
    m_shapes.remove(index, count);
    emit SigChanged();
}
