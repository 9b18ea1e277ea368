#include "IHttpRequest.h"

IHttpRequestBase::~IHttpRequestBase() = default;

IHttpRequest::~IHttpRequest() = default;

void IHttpRequest::SetIdentity(const QString& identity)
{
    m_identity = identity;
}

QString IHttpRequest::GetIdentity() const
{
    return m_identity;
}

IRequestCacheMethod::~IRequestCacheMethod() = default;

QString IRequestCacheMethod::GetCacheKey() const
{
    return {};
}

QString IRequestCacheMethod::GetCTParam() const
{
    return {};
}

QString IRequestCacheMethod::GetSuccessParam() const
{
    return {};
}
