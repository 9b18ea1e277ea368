#pragma once

#include "ConsultBusinessTypeEntity.h"
#include "IHttpResponseDsm.h"

#include <QList>
#include <QSharedPointer>

class ConsultBusinessTypeResponse : public IHttpResponseDsm
{
    Q_OBJECT
public:
    explicit ConsultBusinessTypeResponse(QObject* parent = nullptr);

    // The top-level categories of the reply (shared entities).
    QList<QSharedPointer<ConsultBusinessTypeEntity>> GetBusinessTypeList() const;

    void ParseData(const QJsonValue& data) override;

private:
    QList<QSharedPointer<ConsultBusinessTypeEntity>> m_businessTypeList;
};
