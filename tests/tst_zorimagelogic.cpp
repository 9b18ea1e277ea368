// The host's image service against a local advisory-server: what a successful upload
// stores and returns, and that every way an upload can fail ends in exactly one failed
// notification for the path that was given.

#include "AdvisoryServerProcess.h"
#include "IHttpResponse.h"
#include "ImageUploadRequest.h"
#include "ImageUploadResponse.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"
#include "ZorImageLogic.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QScopedPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kUploadMessage = ZorImageLogic::kUploadFinishedMessage;
// Generous: a loaded CI machine.
constexpr int kWaitMs = 30000;

enum class Source { Image, TextFile, Missing, Directory, EmptyPath };
enum class Server { Running, Stopped, NotConfigured };

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray download(const QString& url)
{
    QNetworkAccessManager network;
    QNetworkReply* reply = network.get(QNetworkRequest(QUrl(url)));
    QSignalSpy finished(reply, &QNetworkReply::finished);
    if (!finished.wait(kWaitMs))
        return QByteArray();
    const QByteArray body = reply->error() == QNetworkReply::NoError ? reply->readAll() : "";
    delete reply;
    return body;
}

// Takes one HTTP request on a loopback port, keeps it as it arrived and answers it with a
// stored-image envelope: lets a test see the multipart body the service sends.
class RecordingHttpServer : public QObject
{
public:
    RecordingHttpServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this]() {
            QTcpSocket* socket = m_server.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, this, [this, socket]() { read(socket); });
        });
    }

    bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString url() const
    {
        return QStringLiteral("http://127.0.0.1:%1/image/upload").arg(m_server.serverPort());
    }

    QByteArray headers;
    QByteArray body;
    bool complete = false;

private:
    void read(QTcpSocket* socket)
    {
        m_received += socket->readAll();
        const int end = m_received.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        headers = m_received.left(end);
        const int lengthAt = headers.toLower().indexOf("content-length:");
        if (lengthAt < 0)
            return;
        const int lineEnd = headers.indexOf("\r\n", lengthAt);
        const int length = headers.mid(lengthAt + 15, lineEnd < 0 ? -1 : lineEnd - lengthAt - 15)
                               .trimmed()
                               .toInt();
        if (m_received.size() < end + 4 + length)
            return;
        body = m_received.mid(end + 4, length);
        complete = true;
        const QByteArray reply =
            R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/images/x.png"}})";
        socket->write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nConnection: "
                      "close\r\nContent-Length: " +
                      QByteArray::number(reply.size()) + "\r\n\r\n" + reply);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QByteArray m_received;
};

} // namespace

Q_DECLARE_METATYPE(Source)
Q_DECLARE_METATYPE(Server)

class TestZorImageLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void uploadStoresImage_data();
    void uploadStoresImage();
    void concurrentUploadsKeepTheirPaths();
    void multipartCarriesFile_data();
    void multipartCarriesFile();
    void failureEndsInOneNotification_data();
    void failureEndsInOneNotification();
    void responseReadsEnvelope_data();
    void responseReadsEnvelope();
    void laterFailureDropsAddress();

private:
    bool startServer(const QStringList& args = {});
    void setUploadAddress(const QString& address);
    ImageUploadResponse* responseAt(int index) const;

    QTemporaryDir m_dir;
    QString m_pngPath;
    QString m_jpegPath;
    QString m_textPath;
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
    m_textPath = m_dir.filePath(QStringLiteral("notes.png"));
    QFile text(m_textPath);
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("not a picture at all\n");
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
    setUploadAddress(m_server.baseUrl() + QStringLiteral("/image/upload"));
    return true;
}

void TestZorImageLogic::setUploadAddress(const QString& address)
{
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           address);
}

ImageUploadResponse* TestZorImageLogic::responseAt(int index) const
{
    return dynamic_cast<ImageUploadResponse*>(m_recorder->notifications.at(index).response.data());
}

void TestZorImageLogic::uploadStoresImage_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("png") << QStringLiteral("picture.png");
    QTest::newRow("jpeg") << QStringLiteral("photo.jpg");
}

void TestZorImageLogic::uploadStoresImage()
{
    QFETCH(QString, fileName);
    const QString path = m_dir.filePath(fileName);
    QVERIFY(startServer());

    ZorImageLogic::Instance()->UploadImage(path);
    QCOMPARE(m_recorder->notifications.size(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 1, kWaitMs);

    ImageUploadResponse* response = responseAt(0);
    QVERIFY(response);
    QCOMPARE(response->GetFilePath(), path);
    QVERIFY2(response->IsSuccess(), qPrintable(response->GetErrorDesc()));
    QCOMPARE(response->GetErrorDesc(), QString());
    const QString url = response->GetImageUrl();
    QVERIFY2(url.startsWith(m_server.baseUrl() + QStringLiteral("/images/")), qPrintable(url));
    QCOMPARE(download(url), readFile(path));

    const auto* request =
        dynamic_cast<ImageUploadRequest*>(m_recorder->notifications.at(0).request.data());
    QVERIFY(request);
    QCOMPARE(request->GetFilePath(), path);
    QCOMPARE(request->GetApiUrl(), m_server.baseUrl() + QStringLiteral("/image/upload"));
}

void TestZorImageLogic::concurrentUploadsKeepTheirPaths()
{
    QVERIFY(startServer());
    const QStringList paths{m_pngPath, m_jpegPath, m_pngPath};
    for (const QString& path : paths)
        ZorImageLogic::Instance()->UploadImage(path);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), paths.size(), kWaitMs);

    QStringList notifiedPaths;
    QSet<QString> urls;
    for (int i = 0; i < paths.size(); ++i) {
        ImageUploadResponse* response = responseAt(i);
        QVERIFY(response);
        QVERIFY2(response->IsSuccess(), qPrintable(response->GetErrorDesc()));
        QCOMPARE(download(response->GetImageUrl()), readFile(response->GetFilePath()));
        notifiedPaths << response->GetFilePath();
        urls << response->GetImageUrl();
    }
    notifiedPaths.sort();
    QStringList expected = paths;
    expected.sort();
    QCOMPARE(notifiedPaths, expected);
    // Each upload is stored on its own, even the same file twice.
    QCOMPARE(urls.size(), paths.size());
}

void TestZorImageLogic::multipartCarriesFile_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("contentType");

    QTest::newRow("png") << QStringLiteral("picture.png") << QStringLiteral("picture.png")
                         << QByteArray("image/png");
    QTest::newRow("jpeg") << QStringLiteral("photo.jpg") << QStringLiteral("photo.jpg")
                          << QByteArray("image/jpeg");
    QTest::newRow("png named jpg") << QStringLiteral("picture.png")
                                   << QStringLiteral("UploadImage1.jpg") << QByteArray("image/png");
    QTest::newRow("not an image") << QStringLiteral("notes.png") << QStringLiteral("notes.png")
                                  << QByteArray("application/octet-stream");
    QTest::newRow("quote in name")
        << QStringLiteral("picture.png") << QStringLiteral("a\"b.png") << QByteArray("image/png");
}

void TestZorImageLogic::multipartCarriesFile()
{
    QFETCH(QString, source);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, contentType);

    const QString path = m_dir.filePath(QStringLiteral("named-") + QTest::currentDataTag());
    QVERIFY(QDir().mkpath(path));
    const QString file = QDir(path).filePath(fileName);
    QFile::remove(file);
    QVERIFY(QFile::copy(m_dir.filePath(source), file));

    RecordingHttpServer server;
    QVERIFY(server.listen());
    setUploadAddress(server.url());
    ZorImageLogic::Instance()->UploadImage(file);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->notifications.size(), 1, kWaitMs);
    QVERIFY(server.complete);
    QVERIFY(responseAt(0)->IsSuccess());

    QVERIFY2(server.headers.startsWith("POST /image/upload "), server.headers.constData());
    const QByteArray lowerHeaders = server.headers.toLower();
    QVERIFY(lowerHeaders.contains("content-type: multipart/form-data; boundary="));

    QByteArray quotedName = fileName.toUtf8();
    quotedName.replace('"', "%22");
    const QByteArray partHeader =
        "content-disposition: form-data; name=\"file\"; filename=\"" + quotedName.toLower() + '"';
    QVERIFY2(server.body.toLower().contains(partHeader), server.body.left(400).constData());
    QVERIFY2(server.body.toLower().contains("content-type: " + contentType + "\r\n"),
             server.body.left(400).constData());
    QVERIFY(server.body.contains("\r\n\r\n" + readFile(file) + "\r\n--"));
}

void TestZorImageLogic::failureEndsInOneNotification_data()
{
    QTest::addColumn<Source>("source");
    QTest::addColumn<Server>("server");
    QTest::addColumn<QStringList>("serverArgs");
    QTest::addColumn<int>("timeoutMs");
    QTest::addColumn<int>("errorCode");

    const QStringList none;
    const auto fault = [](const QString& kind) {
        return QStringList{QStringLiteral("--fault"), QStringLiteral("image/upload=") + kind};
    };
    const int defaultTimeout = 20000;

    QTest::newRow("missing file") << Source::Missing << Server::Running << none << defaultTimeout
                                  << int(HttpErrorCode::Unknown);
    QTest::newRow("directory") << Source::Directory << Server::Running << none << defaultTimeout
                               << int(HttpErrorCode::Unknown);
    QTest::newRow("empty path") << Source::EmptyPath << Server::Running << none << defaultTimeout
                                << int(HttpErrorCode::Unknown);
    QTest::newRow("no upload address") << Source::Image << Server::NotConfigured << none
                                       << defaultTimeout << int(HttpErrorCode::Unknown);
    QTest::newRow("server stopped") << Source::Image << Server::Stopped << none << defaultTimeout
                                    << int(HttpErrorCode::ConnectionFailed);
    QTest::newRow("error code") << Source::Image << Server::Running
                                << fault(QStringLiteral("error:5007")) << defaultTimeout << 5007;
    QTest::newRow("refused content")
        << Source::TextFile << Server::Running << none << defaultTimeout << 4102;
    QTest::newRow("http 500") << Source::Image << Server::Running
                              << fault(QStringLiteral("http:500")) << defaultTimeout
                              << int(HttpErrorCode::HttpStatus);
    QTest::newRow("http 404") << Source::Image << Server::Running
                              << fault(QStringLiteral("http:404")) << defaultTimeout
                              << int(HttpErrorCode::HttpStatus);
    QTest::newRow("malformed body")
        << Source::Image << Server::Running << fault(QStringLiteral("malformed")) << defaultTimeout
        << int(HttpErrorCode::BadReply);
    QTest::newRow("timeout") << Source::Image << Server::Running
                             << fault(QStringLiteral("delay:2000")) << 300
                             << int(HttpErrorCode::Timeout);
}

void TestZorImageLogic::failureEndsInOneNotification()
{
    QFETCH(Source, source);
    QFETCH(Server, server);
    QFETCH(QStringList, serverArgs);
    QFETCH(int, timeoutMs);
    QFETCH(int, errorCode);

    QString path;
    switch (source) {
    case Source::Image:
        path = m_pngPath;
        break;
    case Source::TextFile:
        path = m_textPath;
        break;
    case Source::Missing:
        path = m_dir.filePath(QStringLiteral("gone.png"));
        break;
    case Source::Directory:
        path = m_serverDir->path();
        break;
    case Source::EmptyPath:
        break;
    }
    if (server != Server::NotConfigured)
        QVERIFY(startServer(serverArgs));
    if (server == Server::Stopped)
        m_server.stop();
    ZorImageLogic::Instance()->SetTimeout(timeoutMs);

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
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("url");

    QTest::newRow("address")
        << QByteArray(R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/images/a.png"}})")
        << true << QStringLiteral("http://127.0.0.1:9/images/a.png");
    QTest::newRow("no address") << QByteArray(R"({"code":0,"msg":"","data":{}})") << false
                                << QString();
    QTest::newRow("empty address")
        << QByteArray(R"({"code":0,"msg":"","data":{"url":""}})") << false << QString();
    QTest::newRow("address not text")
        << QByteArray(R"({"code":0,"msg":"","data":{"url":7}})") << false << QString();
    QTest::newRow("data not an object")
        << QByteArray(R"({"code":0,"msg":"","data":"http://127.0.0.1:9/images/a.png"})") << false
        << QString();
    QTest::newRow("refused")
        << QByteArray(
               R"({"code":4102,"msg":"no","data":{"url":"http://127.0.0.1:9/images/a.png"}})")
        << false << QString();
    QTest::newRow("not json") << QByteArray("<html>") << false << QString();
}

void TestZorImageLogic::responseReadsEnvelope()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, success);
    QFETCH(QString, url);

    ImageUploadResponse response(QStringLiteral("/cache/UploadImage1.jpg"));
    response.SetData(body);
    QCOMPARE(response.IsSuccess(), success);
    QCOMPARE(response.GetImageUrl(), url);
    QCOMPARE(response.GetErrorDesc().isEmpty(), success);
    QCOMPARE(response.GetFilePath(), QStringLiteral("/cache/UploadImage1.jpg"));
}

void TestZorImageLogic::laterFailureDropsAddress()
{
    ImageUploadResponse response(QStringLiteral("a.jpg"));
    response.SetData(R"({"code":0,"msg":"","data":{"url":"http://127.0.0.1:9/images/a.jpg"}})");
    QVERIFY(response.IsSuccess());
    response.SetNetworkError(HttpErrorCode::Timeout, QStringLiteral("too late"));
    QVERIFY(!response.IsSuccess());
    QCOMPARE(response.GetImageUrl(), QString());
}

QTEST_GUILESS_MAIN(TestZorImageLogic)

#include "tst_zorimagelogic.moc"
