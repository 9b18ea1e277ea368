#pragma once

#include "IHttpRequest.h"
#include "palhttp_export.h"

#include <QObject>

enum class DsmType { Header = 0, Query = 1 };

// Base of the gateway API requests: a request names its API (GetApiName) and supplies the
// JSON text of its business parameters (GetBusinessParam); the gateway does the rest.
// Subclasses declare Q_OBJECT, so qobject_cast tells request classes apart.
class PALHTTP_EXPORT IHttpRequestDsm : public IHttpRequestBase,
                                       public IHttpRequest,
                                       public QObject,
                                       public IRequestCacheMethod
{
public:
    explicit IHttpRequestDsm(QObject* parent = nullptr);
    ~IHttpRequestDsm() override;

    QString GetApiUrl() const override;     // empty: the gateway addresses it by API name
    QString GetHostIp() const override;     // empty
    QByteArray GetApiBody() const override; // GetBusinessParam()
    QString GetMethodName() const override; // "POST"
    QString GetLogInfo() const override;    // API name and identity
    virtual bool IsDegradeApi() const;      // false
    virtual QString GetDegradeDescription() const;
    virtual void DoReset();
    virtual QString GetApiName() const = 0;
    virtual QByteArray GetBusinessParam() const = 0;
    virtual QString GetDsmAppendix(DsmType type) const;
    virtual void InitParam();
};
