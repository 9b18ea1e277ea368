#pragma once

#include "ConsultBusinessTypeEntity.h"

#include <QList>
#include <QObject>
#include <QSharedPointer>

// The category cache. Entries are shared: a reader holding one keeps it alive after the
// cache was replaced.
class ZorConsultManager : public QObject
{
    Q_OBJECT
public:
    explicit ZorConsultManager(QObject* parent = nullptr);

    void SetBusinessTypeList(const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list);
    int GetBusinessTypeCount() const;
    // Null for an index out of range.
    QSharedPointer<ConsultBusinessTypeEntity> GetBusinessTypeAt(int index) const;
    // The first top-level entry with exactly this code; children are not searched.
    QSharedPointer<ConsultBusinessTypeEntity> GetBusinessTypeByCode(const QString& code) const;

private:
    QList<QSharedPointer<ConsultBusinessTypeEntity>> m_businessTypeList;
};
