#include "ConsultBusinessTypeResponse.h"

#include <QJsonArray>
#include <QJsonValue>

ConsultBusinessTypeResponse::ConsultBusinessTypeResponse(QObject* parent) : IHttpResponseDsm(parent)
{}

QList<QSharedPointer<ConsultBusinessTypeEntity>>
ConsultBusinessTypeResponse::GetBusinessTypeList() const
{
    return m_businessTypeList;
}

void ConsultBusinessTypeResponse::ParseData(const QJsonValue& data)
{
    if (!data.isArray())
        return;
    m_businessTypeList = ConsultBusinessTypeEntity::ParseList(data.toArray());
}
