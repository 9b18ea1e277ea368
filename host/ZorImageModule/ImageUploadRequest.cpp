#include "ImageUploadRequest.h"

#include <QUrl>

ImageUploadRequest::ImageUploadRequest(const QString& filePath, const QString& uploadUrl)
    : m_filePath(filePath), m_uploadUrl(uploadUrl)
{}

QString ImageUploadRequest::GetFilePath() const
{
    return m_filePath;
}

QString ImageUploadRequest::GetApiUrl() const
{
    return m_uploadUrl;
}

QString ImageUploadRequest::GetHostIp() const
{
    return QUrl(m_uploadUrl).host();
}

QByteArray ImageUploadRequest::GetApiBody() const
{
    return QByteArray();
}

QString ImageUploadRequest::GetMethodName() const
{
    return QStringLiteral("POST");
}

QString ImageUploadRequest::GetLogInfo() const
{
    return QStringLiteral("image upload of %1 to %2").arg(m_filePath, m_uploadUrl);
}
