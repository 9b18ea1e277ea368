#pragma once

#include "ConsultDescEntity.h"
#include "IHttpRequestDsm.h"

#include <QSharedPointer>

// Sends one feedback record as {"param": <record>} in compact JSON.
class ConsultSubmitDescRequest : public IHttpRequestDsm
{
    Q_OBJECT
public:
    explicit ConsultSubmitDescRequest(QObject* parent = nullptr);

    void SetDescEntity(QSharedPointer<ConsultDescEntity> entity);
    QSharedPointer<ConsultDescEntity> GetDescEntity() const;

    QString GetApiName() const override;
    QByteArray GetBusinessParam() const override;

private:
    QSharedPointer<ConsultDescEntity> m_descEntity;
};
