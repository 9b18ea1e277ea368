#pragma once

#include "IHttpResponse.h"
#include "palhttp_export.h"

#include <QJsonValue>
#include <QObject>

// Base of the gateway API responses. SetData reads the envelope
// {"code": 0, "msg": "", "data": ...}: code 0 is success and hands "data" to ParseData;
// any other code, or a body that is no envelope, is a failure with a readable description.
// Subclasses declare Q_OBJECT and override ParseData only.
class PALHTTP_EXPORT IHttpResponseDsm : public IHttpResponseBase,
                                        public IHttpResponse,
                                        public QObject,
                                        public IResponseCacheMethod
{
public:
    explicit IHttpResponseDsm(QObject* parent = nullptr);
    ~IHttpResponseDsm() override;

    void SetData(const QByteArray& data) override;
    bool IsSuccess() const override;
    int GetErrorCode() const override;
    QString GetErrorDesc() const override;
    bool ShouldRetry() const override;
    void DoReset() override;
    int GetSuccessCode() const override; // 0
    void SetNetworkError(int code, const QString& desc) override;
    // The business data of a successful reply.
    virtual void ParseData(const QJsonValue& data);
    // Called by SetData with the whole envelope once it was read; hands "data" to ParseData.
    virtual void ParseBusinessData(const QJsonValue& envelope);

protected:
    void SetError(int code, const QString& desc);

private:
    bool m_bSuccess = false;
    int m_errorCode = HttpErrorCode::Unknown;
    QString m_errorDesc;
};
