#pragma once

#include "palhttp_export.h"

#include <QByteArray>
#include <QString>

class PALHTTP_EXPORT IHttpResponseBase
{
public:
    virtual ~IHttpResponseBase();
};

// What the gateway fills in when a request has ended.
class PALHTTP_EXPORT IHttpResponse
{
public:
    virtual ~IHttpResponse();

    // The body of a reply that arrived (HTTP status 2xx).
    virtual void SetData(const QByteArray& data) = 0;
    virtual bool IsSuccess() const = 0;
    virtual int GetErrorCode() const = 0;
    // A text a person can read and act on; empty on success.
    virtual QString GetErrorDesc() const = 0;
    // Whether another attempt may help (the connection failed before any reply).
    virtual bool ShouldRetry() const = 0;
    virtual void DoReset() = 0;
    virtual int GetSuccessCode() const = 0;
    // The request ended without a usable reply: code is one of HttpErrorCode.
    virtual void SetNetworkError(int code, const QString& desc) = 0;
};

// Error codes of failures that happen before a reply envelope could be read. Codes the
// service puts into its envelope are positive; these are negative so they never collide.
namespace HttpErrorCode {
enum : int {
    ConnectionFailed = -1, // refused, host not found, network down: worth a retry
    Timeout = -2,          // no complete reply within the attempt's time
    HttpStatus = -3,       // an HTTP error status
    BadReply = -4,         // a body that is not the gateway's envelope
    Cancelled = -5,        // the gateway was shut down first
    Unknown = -6,
};
}

class PALHTTP_EXPORT IResponseCacheMethod
{
public:
    virtual ~IResponseCacheMethod();
    virtual bool IsAutoCache() const;
    virtual bool CanSaveToCache() const;
    virtual bool NeedReadFromCache() const;
    virtual QByteArray GetCacheData() const;
    virtual void SetCacheData(const QByteArray& data);
};
