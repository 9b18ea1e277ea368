#pragma once

#include "IHttpResponseDsm.h"
#include "zorimagemodule_export.h"

// The outcome of one image upload, dispatched with notification 101. The service answers
// the envelope with data {"url": "<address of the stored image>"}.
class ZORIMAGEMODULE_EXPORT ImageUploadResponse : public IHttpResponseDsm
{
    Q_OBJECT
public:
    explicit ImageUploadResponse(const QString& filePath, QObject* parent = nullptr);

    // Exactly the path given to ZorImageLogic::UploadImage.
    QString GetFilePath() const;
    // The stored image's address; empty unless IsSuccess().
    QString GetImageUrl() const;

    void ParseData(const QJsonValue& data) override;

private:
    QString m_filePath;
    QString m_imageUrl;
};
