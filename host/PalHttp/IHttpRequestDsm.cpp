#include "IHttpRequestDsm.h"

IHttpRequestDsm::IHttpRequestDsm(QObject* parent) : QObject(parent)
{}

IHttpRequestDsm::~IHttpRequestDsm() = default;

QString IHttpRequestDsm::GetApiUrl() const
{
    return {};
}

QString IHttpRequestDsm::GetHostIp() const
{
    return {};
}

QByteArray IHttpRequestDsm::GetApiBody() const
{
    return GetBusinessParam();
}

QString IHttpRequestDsm::GetMethodName() const
{
    return QStringLiteral("POST");
}

QString IHttpRequestDsm::GetLogInfo() const
{
    const QString identity = GetIdentity();
    if (identity.isEmpty())
        return GetApiName();
    return QStringLiteral("%1 [%2]").arg(GetApiName(), identity);
}

bool IHttpRequestDsm::IsDegradeApi() const
{
    return false;
}

QString IHttpRequestDsm::GetDegradeDescription() const
{
    return {};
}

void IHttpRequestDsm::DoReset()
{}

QString IHttpRequestDsm::GetDsmAppendix(DsmType) const
{
    return {};
}

void IHttpRequestDsm::InitParam()
{}
