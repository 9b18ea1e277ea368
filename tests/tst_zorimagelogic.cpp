// The host's image service against a local advisory-server: what a successful upload stores and
// returns, and that every way an upload can fail ends in one failed notification for its path.

#include "AdvisoryServerProcess.h"
#include "IHttpResponse.h"
#include "ImageUploadResponse.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"
#include "ZorImageLogic.h"

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWaitMs = 30000; // generous: a loaded CI machine
const QString kStoredUrl = QStringLiteral("http://127.0.0.1:9/images/a.png");

QByteArray download(const QString& url)
{
    QNetworkAccessManager network;
    QScopedPointer<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(url))));
    const bool finished = QSignalSpy(reply.data(), &QNetworkReply::finished).wait(kWaitMs);
    return finished && reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
}

} // namespace

class TestZorImageLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void concurrentUploadsKeepTheirPaths();
    void failureEndsInOneNotification_data();
    void failureEndsInOneNotification();
    void responseReadsEnvelope_data();
    void responseReadsEnvelope();

private:
    bool startServer(const QString& fault = {});
    ImageUploadResponse* responseAt(int index) const;

    QTemporaryDir m_dir;
    const QString m_pngPath = m_dir.filePath(QStringLiteral("picture.png"));
    const QString m_jpegPath = m_dir.filePath(QStringLiteral("photo.jpg"));
    AdvisoryServerProcess m_server;
    NotificationRecorder m_recorder{{ZorImageLogic::kUploadFinishedMessage}};
};

void TestZorImageLogic::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));

    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(QColor(30, 120, 200));
    QVERIFY(picture.save(m_pngPath, "PNG"));
    QVERIFY(picture.save(m_jpegPath, "JPEG", 90));
}

void TestZorImageLogic::cleanup()
{
    m_server.stop();
    m_recorder.notifications.clear();
    ZorImageLogic::Instance()->SetTimeout(20000);
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("image"),
                                              QStringLiteral("upload_url"));
}

// fault: how the server misbehaves on uploads, as its --fault option takes it.
bool TestZorImageLogic::startServer(const QString& fault)
{
    const QStringList faultArgs{"--fault", "image/upload=" + fault};
    if (!m_server.start(m_dir.filePath("server"), fault.isEmpty() ? QStringList() : faultArgs)) {
        qWarning("%s", qPrintable(m_server.errorString()));
        return false;
    }
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           m_server.baseUrl() + QStringLiteral("/image/upload"));
    return true;
}

ImageUploadResponse* TestZorImageLogic::responseAt(int index) const
{
    return dynamic_cast<ImageUploadResponse*>(m_recorder.notifications.at(index).response.data());
}

void TestZorImageLogic::concurrentUploadsKeepTheirPaths()
{
    QVERIFY(startServer());
    const QStringList paths{m_pngPath, m_jpegPath, m_pngPath};
    for (const QString& path : paths)
        ZorImageLogic::Instance()->UploadImage(path);
    QCOMPARE(m_recorder.notifications.size(), 0); // never inside the call that started it
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.notifications.size(), paths.size(), kWaitMs);

    QStringList notifiedPaths;
    QStringList urls;
    for (int i = 0; i < paths.size(); ++i) {
        ImageUploadResponse* response = responseAt(i);
        QVERIFY(response);
        QVERIFY2(response->IsSuccess(), qPrintable(response->GetErrorDesc()));
        const QString url = response->GetImageUrl();
        QVERIFY2(url.startsWith(m_server.baseUrl() + QStringLiteral("/images/")), qPrintable(url));
        QFile file(response->GetFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(download(url), file.readAll());
        notifiedPaths << response->GetFilePath();
        urls << url;
    }
    QCOMPARE(notifiedPaths.count(m_pngPath), 2);
    QVERIFY(notifiedPaths.contains(m_jpegPath));
    // Each upload is stored on its own, even the same file twice.
    QCOMPARE(urls.removeDuplicates(), 0);
}

void TestZorImageLogic::failureEndsInOneNotification_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fault"); // a server fault, or "stopped" or "unconfigured"
    QTest::addColumn<int>("errorCode");

    const QString png = QStringLiteral("picture.png");
    QTest::newRow("missing file") << "gone.png" << QString() << int(HttpErrorCode::Unknown);
    QTest::newRow("empty path") << QString() << QString() << int(HttpErrorCode::Unknown);
    QTest::newRow("no upload address") << png << "unconfigured" << int(HttpErrorCode::Unknown);
    QTest::newRow("server stopped") << png << "stopped" << int(HttpErrorCode::ConnectionFailed);
    QTest::newRow("error code") << png << "error:5007" << 5007;
    QTest::newRow("http 500") << png << "http:500" << int(HttpErrorCode::HttpStatus);
    QTest::newRow("malformed body") << png << "malformed" << int(HttpErrorCode::BadReply);
    // The service answers after 2 s; the upload gives up after 300 ms.
    QTest::newRow("timeout") << png << "delay:2000" << int(HttpErrorCode::Timeout);
}

void TestZorImageLogic::failureEndsInOneNotification()
{
    QFETCH(QString, file);
    QFETCH(QString, fault);
    QFETCH(int, errorCode);

    const QString path = file.isEmpty() ? QString() : m_dir.filePath(file);
    if (fault != "unconfigured")
        QVERIFY(startServer(fault == "stopped" ? QString() : fault));
    if (fault == "stopped")
        m_server.stop();
    ZorImageLogic::Instance()->SetTimeout(errorCode == int(HttpErrorCode::Timeout) ? 300 : kWaitMs);

    ZorImageLogic::Instance()->UploadImage(path);
    QCOMPARE(m_recorder.notifications.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.notifications.size(), 1, kWaitMs);
    ImageUploadResponse* response = responseAt(0);
    QVERIFY(response && !response->IsSuccess());
    QCOMPARE(response->GetFilePath(), path);
    QCOMPARE(response->GetErrorCode(), errorCode);
    QVERIFY(!response->GetErrorDesc().trimmed().isEmpty());

    // A second notification for the same upload would come at the latest when the server
    // has answered it; a probe sent now to the same place is answered after that.
    ZorImageLogic::Instance()->SetTimeout(kWaitMs);
    ZorImageLogic::Instance()->UploadImage(m_jpegPath);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder.notifications.size(), 2, kWaitMs);
    QCOMPARE(responseAt(1) ? responseAt(1)->GetFilePath() : QString(), m_jpegPath);
}

void TestZorImageLogic::responseReadsEnvelope_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("laterFailure");
    QTest::addColumn<bool>("stored");

    const auto envelope = [](int code, const QJsonObject& data) {
        return QJsonDocument(QJsonObject{{"code", code}, {"msg", ""}, {"data", data}}).toJson();
    };
    const QJsonObject withUrl{{"url", kStoredUrl}};
    QTest::newRow("address") << envelope(0, withUrl) << false << true;
    QTest::newRow("address, then a timeout") << envelope(0, withUrl) << true << false;
    QTest::newRow("no address") << envelope(0, {}) << false << false;
    QTest::newRow("address not text") << envelope(0, {{"url", 7}}) << false << false;
    QTest::newRow("refused with an address") << envelope(4102, withUrl) << false << false;
}

void TestZorImageLogic::responseReadsEnvelope()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, laterFailure);
    QFETCH(bool, stored);

    ImageUploadResponse response(QStringLiteral("/cache/UploadImage1.jpg"));
    response.SetData(body);
    if (laterFailure)
        response.SetNetworkError(HttpErrorCode::Timeout, QStringLiteral("too late"));
    QCOMPARE(response.IsSuccess(), stored);
    QCOMPARE(response.GetImageUrl(), stored ? kStoredUrl : QString());
    QCOMPARE(response.GetErrorDesc().isEmpty(), stored);
}

QTEST_GUILESS_MAIN(TestZorImageLogic)

#include "tst_zorimagelogic.moc"
