#include "ZorImageLogic.h"

#include "HttpNotifyManager.h"
#include "ImageUploadRequest.h"
#include "ImageUploadResponse.h"
#include "PalImageUtils.h"
#include "ZorConfigManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace {

// The file name as the multipart header carries it: quotes and line breaks would end the
// header value early, so they are percent-encoded as browsers do.
QByteArray DispositionFileName(const QString& path)
{
    QByteArray name = QFileInfo(path).fileName().toUtf8();
    name.replace('"', "%22").replace('\r', "%0D").replace('\n', "%0A");
    return name;
}

bool IsUploadAddress(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

// Fills the response from a finished reply; every outcome ends in exactly one of these.
void ReadReply(QNetworkReply* reply, bool bTimedOut, int timeoutMs, ImageUploadResponse& response)
{
    if (bTimedOut) {
        response.SetNetworkError(
            HttpErrorCode::Timeout,
            ZorImageLogic::tr("The image upload did not finish within %1 ms.").arg(timeoutMs));
        return;
    }
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299)) {
        response.SetNetworkError(
            HttpErrorCode::HttpStatus,
            ZorImageLogic::tr("The image service answered with HTTP status %1 %2.")
                .arg(status.toInt())
                .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        response.SetNetworkError(
            HttpErrorCode::ConnectionFailed,
            ZorImageLogic::tr("The image service cannot be reached: %1").arg(reply->errorString()));
        return;
    }
    response.SetData(reply->readAll());
}

} // namespace

ZorImageLogic::ZorImageLogic(QObject* parent)
    : QObject(parent), m_network(new QNetworkAccessManager(this))
{}

ZorImageLogic* ZorImageLogic::Instance()
{
    // GUI thread only, like the network manager it owns. The service is a child of the
    // application object, so no network object outlives the application.
    static QPointer<ZorImageLogic> s_instance;
    if (!s_instance)
        s_instance = new ZorImageLogic(QCoreApplication::instance());
    return s_instance;
}

void ZorImageLogic::SetTimeout(int msecs)
{
    m_timeoutMs = msecs;
}

int ZorImageLogic::GetTimeout() const
{
    return m_timeoutMs;
}

void ZorImageLogic::UploadImage(const QString& path)
{
    const QString address = ZorConfigManager::Instance()
                                ->GetValue(QStringLiteral("image"), QStringLiteral("upload_url"))
                                .toString();
    const auto request = QSharedPointer<ImageUploadRequest>::create(path, address);
    const auto response = QSharedPointer<ImageUploadResponse>::create(path);

    // Failures found before anything was sent are reported like the others: on a later
    // turn, so a caller never gets the notification before UploadImage has returned.
    const auto failLater = [this, request, response](const QString& desc) {
        response->SetNetworkError(HttpErrorCode::Unknown, desc);
        QTimer::singleShot(0, this, [request, response]() {
            HttpNotifyManager::Instance()->Dispatch(kUploadFinishedMessage, request, response);
        });
    };

    const QUrl url(address);
    if (!IsUploadAddress(url)) {
        failLater(tr("No valid image upload address is configured (\"%1\").").arg(address));
        return;
    }
    auto file = std::make_unique<QFile>(path);
    if (path.isEmpty() || !file->open(QIODevice::ReadOnly)) {
        failLater(tr("The image file \"%1\" cannot be read: %2")
                      .arg(QDir::toNativeSeparators(path), file->errorString()));
        return;
    }

    QString contentType = PalImageUtils::GetImgContentType(path);
    if (contentType.isEmpty())
        contentType = QStringLiteral("application/octet-stream");

    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setRawHeader("Content-Disposition",
                      "form-data; name=\"file\"; filename=\"" + DispositionFileName(path) + '"');
    part.setRawHeader("Content-Type", contentType.toLatin1());
    // Streamed from the file, which the multipart object owns from here on.
    part.setBodyDevice(file.get());
    file.release()->setParent(multiPart);
    multiPart->append(part);

    QNetworkReply* reply = m_network->post(QNetworkRequest(url), multiPart);
    multiPart->setParent(reply);

    // The whole upload is bounded, not only the time between two received bytes.
    const auto timedOut = std::make_shared<bool>(false);
    auto* timer = new QTimer(reply);
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, reply, [reply, timedOut]() {
        *timedOut = true;
        reply->abort();
    });
    timer->start(m_timeoutMs);

    const int timeoutMs = m_timeoutMs;
    connect(reply, &QNetworkReply::finished, this,
            [reply, timer, timedOut, timeoutMs, request, response]() {
                timer->stop();
                ReadReply(reply, *timedOut, timeoutMs, *response);
                reply->deleteLater();
                HttpNotifyManager::Instance()->Dispatch(kUploadFinishedMessage, request, response);
            });
}
