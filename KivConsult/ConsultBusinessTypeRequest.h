#pragma once

#include "IHttpRequestDsm.h"

// The problem-category query: carries only the merchant's vender id.
class ConsultBusinessTypeRequest : public IHttpRequestDsm
{
    Q_OBJECT
public:
    explicit ConsultBusinessTypeRequest(QObject* parent = nullptr);

    QString GetApiName() const override;
    // {"venderId": "<decimal>"} in the indented JSON form.
    QByteArray GetBusinessParam() const override;
};
