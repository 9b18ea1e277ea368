#pragma once

#include "IHttpRequest.h"
#include "zorimagemodule_export.h"

#include <QString>

// The request half of notification 101: which file went to which upload address. The body
// is streamed from the file as multipart/form-data, so GetApiBody stays empty.
class ZORIMAGEMODULE_EXPORT ImageUploadRequest : public IHttpRequest
{
public:
    ImageUploadRequest(const QString& filePath, const QString& uploadUrl);

    QString GetFilePath() const;

    QString GetApiUrl() const override;
    QString GetHostIp() const override;
    QByteArray GetApiBody() const override;
    QString GetMethodName() const override;
    QString GetLogInfo() const override;

private:
    QString m_filePath;
    QString m_uploadUrl;
};
