#include "ZorConsultManager.h"

ZorConsultManager::ZorConsultManager(QObject* parent) : QObject(parent)
{}

void ZorConsultManager::SetBusinessTypeList(
    const QList<QSharedPointer<ConsultBusinessTypeEntity>>& list)
{
    // Only the shared pointers are copied; readers holding old entries keep them alive.
    m_businessTypeList = list;
}

int ZorConsultManager::GetBusinessTypeCount() const
{
    return m_businessTypeList.size();
}

QSharedPointer<ConsultBusinessTypeEntity> ZorConsultManager::GetBusinessTypeAt(int index) const
{
    return m_businessTypeList.value(index);
}

QSharedPointer<ConsultBusinessTypeEntity>
ZorConsultManager::GetBusinessTypeByCode(const QString& code) const
{
    for (const auto& entry : m_businessTypeList) {
        if (entry && entry->businessTypeCode == code)
            return entry;
    }
    return {};
}
