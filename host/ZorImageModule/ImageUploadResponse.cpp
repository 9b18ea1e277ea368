#include "ImageUploadResponse.h"

#include <QJsonObject>

ImageUploadResponse::ImageUploadResponse(const QString& filePath, QObject* parent)
    : IHttpResponseDsm(parent), m_filePath(filePath)
{}

QString ImageUploadResponse::GetFilePath() const
{
    return m_filePath;
}

QString ImageUploadResponse::GetImageUrl() const
{
    // A failure after the data was read (a later SetNetworkError, a reset) must not leave an
    // address behind that an observer would take for a stored image.
    return IsSuccess() ? m_imageUrl : QString();
}

void ImageUploadResponse::ParseData(const QJsonValue& data)
{
    m_imageUrl = data.toObject().value(QStringLiteral("url")).toString();
    // An accepted upload without an address is of no use to anyone: it counts as failed.
    if (m_imageUrl.isEmpty())
        SetError(HttpErrorCode::BadReply, tr("The image service did not return the address of "
                                             "the stored image."));
}
