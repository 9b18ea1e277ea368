// The host's image service against a local advisory-server: what a successful upload
// stores and returns, and that every way an upload can fail ends in exactly one failed
// notification for the path that was given.

#include "AdvisoryServerProcess.h"
#include "IHttpResponse.h"
#include "ImageUploadResponse.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"
#include "ZorImageLogic.h"

#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopedPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kUploadMessage = ZorImageLogic::kUploadFinishedMessage;
// Generous: a loaded CI machine.
constexpr int kWaitMs = 30000;

enum class Server { Running, Stopped, NotConfigured };

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray download(const QString& url)
{
    QNetworkAccessManager network;
    QScopedPointer<QNetworkReply> reply(network.get(QNetworkRequest(QUrl(url))));
    QSignalSpy finished(reply.data(), &QNetworkReply::finished);
    if (!finished.wait(kWaitMs) || reply->error() != QNetworkReply::NoError)
        return QByteArray();
    return reply->readAll();
}

} // namespace

Q_DECLARE_METATYPE(Server)

class TestZorImageLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void concurrentUploadsKeepTheirPaths();
    void failureEndsInOneNotification_data();
    void failureEndsInOneNotification();
    void responseReadsEnvelope_data();
    void responseReadsEnvelope();

private:
    bool startServer(const QStringList& args = {});
    ImageUploadResponse* responseAt(int index) const;

    QTemporaryDir m_dir;
    QString m_pngPath;
    QString m_jpegPath;
    QScopedPointer<QTemporaryDir> m_serverDir;
    AdvisoryServerProcess m_server;
    QScopedPointer<NotificationRecorder> m_recorder;
};

void TestZorImageLogic::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));

    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(QColor(30, 120, 200));
    m_pngPath = m_dir.filePath(QStringLiteral("picture.png"));
    m_jpegPath = m_dir.filePath(QStringLiteral("photo.jpg"));
    QVERIFY(picture.save(m_pngPath, "PNG"));
    QVERIFY(picture.save(m_jpegPath, "JPEG", 90));
}

void TestZorImageLogic::init()
{
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    QVERIFY(m_serverDir->isValid());
    m_recorder.reset(new NotificationRecorder({kUploadMessage}));
}

void TestZorImageLogic::cleanup()
{
    m_server.stop();
    m_recorder.reset();
    ZorImageLogic::Instance()->SetTimeout(20000);
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("image"),
                                              QStringLiteral("upload_url"));
}

bool TestZorImageLogic::startServer(const QStringList& args)
{
    if (!m_server.start(m_serverDir->path(), args)) {
        qWarning("%s", qPrintable(m_server.errorString()));
        return false;
    }
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           m_server.baseUrl() + QStringLiteral("/image/upload"));
    return true;
}

ImageUploadResponse* TestZorImageLogic::responseAt(int index) const
{
    return dynamic_cast<ImageUploadResponse*>(m_recorder->notifications.at(index).response.data());
}

void TestZorImageLogic::concurrentUploadsKeepTheirPaths()
{
    QVERIFY(startServer());
    const QStringList paths{m_pngPath, m_jpegPath, m_pngPath};
    for (const QString& path : paths)
        ZorImageLogic::Instance()->UploadImage(path);
    // Never inside the call that started the upload.
    QCOMPARE(m_recorder->notifications.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), paths.size(), kWaitMs);

    QStringList notifiedPaths;
    QSet<QString> urls;
    for (int i = 0; i < paths.size(); ++i) {
        ImageUploadResponse* response = responseAt(i);
        QVERIFY(response);
        QVERIFY2(response->IsSuccess(), qPrintable(response->GetErrorDesc()));
        const QString url = response->GetImageUrl();
        QVERIFY2(url.startsWith(m_server.baseUrl() + QStringLiteral("/images/")), qPrintable(url));
        QCOMPARE(download(url), readFile(response->GetFilePath()));
        notifiedPaths << response->GetFilePath();
        urls << url;
    }
    notifiedPaths.sort();
    QStringList expected = paths;
    expected.sort();
    QCOMPARE(notifiedPaths, expected);
    // Each upload is stored on its own, even the same file twice.
    QCOMPARE(urls.size(), paths.size());
}

void TestZorImageLogic::failureEndsInOneNotification_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<Server>("server");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("errorCode");

    const QString png = QStringLiteral("picture.png");
    const int unknown = int(HttpErrorCode::Unknown);
    QTest::newRow("missing file") << "gone.png" << Server::Running << QString() << unknown;
    QTest::newRow("empty path") << QString() << Server::Running << QString() << unknown;
    QTest::newRow("no upload address") << png << Server::NotConfigured << QString() << unknown;
    QTest::newRow("server stopped")
        << png << Server::Stopped << QString() << int(HttpErrorCode::ConnectionFailed);
    QTest::newRow("error code") << png << Server::Running << "error:5007" << 5007;
    QTest::newRow("http 500") << png << Server::Running << "http:500"
                              << int(HttpErrorCode::HttpStatus);
    QTest::newRow("malformed body")
        << png << Server::Running << "malformed" << int(HttpErrorCode::BadReply);
    // The service answers after 2 s; the upload gives up after 300 ms.
    QTest::newRow("timeout") << png << Server::Running << "delay:2000"
                             << int(HttpErrorCode::Timeout);
}

void TestZorImageLogic::failureEndsInOneNotification()
{
    QFETCH(QString, file);
    QFETCH(Server, server);
    QFETCH(QString, fault);
    QFETCH(int, errorCode);

    const QString path = file.isEmpty() ? QString() : m_dir.filePath(file);
    if (server != Server::NotConfigured) {
        QVERIFY(startServer(
            fault.isEmpty()
                ? QStringList()
                : QStringList{QStringLiteral("--fault"), QStringLiteral("image/upload=") + fault}));
    }
    if (server == Server::Stopped)
        m_server.stop();
    ZorImageLogic::Instance()->SetTimeout(errorCode == int(HttpErrorCode::Timeout) ? 300 : kWaitMs);

    ZorImageLogic::Instance()->UploadImage(path);
    QCOMPARE(m_recorder->notifications.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 1, kWaitMs);

    ImageUploadResponse* response = responseAt(0);
    QVERIFY(response);
    QCOMPARE(response->GetFilePath(), path);
    QVERIFY(!response->IsSuccess());
    QCOMPARE(response->GetErrorCode(), errorCode);
    QVERIFY(!response->GetErrorDesc().trimmed().isEmpty());
    QCOMPARE(response->GetImageUrl(), QString());

    // A second notification for the same upload would come at the latest when the server
    // has answered it; a probe sent now to the same place is answered after that.
    const QString probe = m_dir.filePath(QStringLiteral("probe.png"));
    QFile::remove(probe);
    QVERIFY(QFile::copy(m_pngPath, probe));
    ZorImageLogic::Instance()->SetTimeout(kWaitMs);
    ZorImageLogic::Instance()->UploadImage(probe);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 2, kWaitMs);
    QVERIFY(responseAt(1));
    QCOMPARE(responseAt(1)->GetFilePath(), probe);
}

void TestZorImageLogic::responseReadsEnvelope_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("laterFailure");
    QTest::addColumn<QString>("url");

    const auto envelope = [](int code, const QByteArray& data) {
        return R"({"code":)" + QByteArray::number(code) + R"(,"msg":"","data":)" + data + '}';
    };
    const QString stored = QStringLiteral("http://127.0.0.1:9/images/a.png");
    const QByteArray withUrl = R"({"url":"http://127.0.0.1:9/images/a.png"})";
    QTest::newRow("address") << envelope(0, withUrl) << false << stored;
    QTest::newRow("address, then a timeout") << envelope(0, withUrl) << true << QString();
    QTest::newRow("no address") << envelope(0, "{}") << false << QString();
    QTest::newRow("empty address") << envelope(0, R"({"url":""})") << false << QString();
    QTest::newRow("address not text") << envelope(0, R"({"url":7})") << false << QString();
    QTest::newRow("refused with an address") << envelope(4102, withUrl) << false << QString();
}

void TestZorImageLogic::responseReadsEnvelope()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, laterFailure);
    QFETCH(QString, url);

    ImageUploadResponse response(QStringLiteral("/cache/UploadImage1.jpg"));
    response.SetData(body);
    if (laterFailure)
        response.SetNetworkError(HttpErrorCode::Timeout, QStringLiteral("too late"));
    QCOMPARE(response.IsSuccess(), !url.isEmpty());
    QCOMPARE(response.GetImageUrl(), url);
    QCOMPARE(response.GetErrorDesc().isEmpty(), !url.isEmpty());
    QCOMPARE(response.GetFilePath(), QStringLiteral("/cache/UploadImage1.jpg"));
}

QTEST_GUILESS_MAIN(TestZorImageLogic)

#include "tst_zorimagelogic.moc"
