#pragma once

#include "palhttp_export.h"

#include <QByteArray>
#include <QString>

class PALHTTP_EXPORT IHttpRequestBase
{
public:
    virtual ~IHttpRequestBase();
};

// What the gateway needs of any request. The identity, when set, travels as the header
// "X-Request-Id" and lets an observer recognise the notification of its own request.
class PALHTTP_EXPORT IHttpRequest
{
public:
    virtual ~IHttpRequest();

    void SetIdentity(const QString& identity);
    QString GetIdentity() const;

    // Full address of the call; empty means the gateway's base address followed by "/" and
    // the API name.
    virtual QString GetApiUrl() const = 0;
    virtual QString GetHostIp() const = 0;
    // The request body.
    virtual QByteArray GetApiBody() const = 0;
    // "POST" unless a request says otherwise.
    virtual QString GetMethodName() const = 0;
    // One line describing the request for the host's logs.
    virtual QString GetLogInfo() const = 0;

private:
    QString m_identity;
};

class PALHTTP_EXPORT IRequestCacheMethod
{
public:
    virtual ~IRequestCacheMethod();
    virtual QString GetCacheKey() const;
    virtual QString GetCTParam() const;
    virtual QString GetSuccessParam() const;
};
