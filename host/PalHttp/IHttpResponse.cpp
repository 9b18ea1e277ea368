#include "IHttpResponse.h"

IHttpResponseBase::~IHttpResponseBase() = default;

IHttpResponse::~IHttpResponse() = default;

IResponseCacheMethod::~IResponseCacheMethod() = default;

bool IResponseCacheMethod::IsAutoCache() const
{
    return false;
}

bool IResponseCacheMethod::CanSaveToCache() const
{
    return false;
}

bool IResponseCacheMethod::NeedReadFromCache() const
{
    return false;
}

QByteArray IResponseCacheMethod::GetCacheData() const
{
    return {};
}

void IResponseCacheMethod::SetCacheData(const QByteArray&)
{}
