#pragma once

#include "zorimagemodule_export.h"

#include <QObject>
#include <QString>

class QNetworkAccessManager;

// The host's image service. UploadImage sends the file as multipart/form-data (field "file")
// to the address in the host configuration "image/upload_url", and when the upload has ended
// either way dispatches notification kUploadFinishedMessage (101) through HttpNotifyManager
// with an ImageUploadRequest and an ImageUploadResponse for that path. The notification always
// comes on a later event-loop turn on the GUI thread, never inside UploadImage.
class ZORIMAGEMODULE_EXPORT ZorImageLogic : public QObject
{
    Q_OBJECT
public:
    static constexpr int kUploadFinishedMessage = 101;

    static ZorImageLogic* Instance();

    void UploadImage(const QString& path);

    // Time an upload may take, in milliseconds (20000 unless set).
    void SetTimeout(int msecs);
    int GetTimeout() const;

private:
    explicit ZorImageLogic(QObject* parent = nullptr);

    QNetworkAccessManager* m_network = nullptr;
    int m_timeoutMs = 20000;
};
