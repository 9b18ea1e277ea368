#include "AdvisoryServerProcess.h"
#include "TestMessageHandler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpMultiPart>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

const QString kBusinessTypeApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QString kStartAdvisoryApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");
const QString kRecordPage = QStringLiteral("/app/advisory/AdvisoryList");

const QByteArray kPngHeader("\x89PNG\r\n\x1A\n", 8);
constexpr int kMiB = 1024 * 1024;

struct HttpResult
{
    int status = 0;
    QByteArray contentType;
    QByteArray body;

    QJsonObject envelope() const { return QJsonDocument::fromJson(body).object(); }
    int code() const { return envelope().value("code").toInt(-12345); }
};

// A record as the module sends it: codes and the platform as numbers, the rest as text.
QJsonObject sampleRecord(const QString& description)
{
    // One raw string per line: moc loses track of multi-line raw strings.
    QJsonObject record =
        QJsonDocument::fromJson(
            R"({"startBusinessCode1": 1907, "startBusinessName1": "Account and login",)"
            R"( "startBusinessCode2": 1908, "startBusinessName2": "Cannot log in",)"
            R"( "venderId": "10086", "userId": "q83vEjRWeJo=", "telphone": "13800138000",)"
            R"( "files": [{"url": "http://127.0.0.1:9/images/a.png", "fileName": "a.jpg"}],)"
            R"( "version": "3.2.1", "platform": 2, "systemName": "windows", "systemVersion": "10",)"
            R"( "ip": "10.0.0.8", "resolution": "1920*1040 100%", "sourceType": "",)"
            R"( "browserVersion": "110.0", "deviceId": "2f1d7c84-5a8e-4c43-9f0e-6b1f0b8f2a11"})")
            .object();
    record.insert("questionDesc", description);
    return record;
}

QByteArray submissionBody(const QJsonObject& record)
{
    return QJsonDocument(QJsonObject{{"param", record}}).toJson(QJsonDocument::Compact);
}

} // namespace

class tst_AdvisoryServer : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestMessageHandler::install(); }
    void init();
    void cleanup();

    void builtInCategoriesHaveDistinctNumericCodes();
    void storesRecordsOnceNewestFirst();
    void refusesBadInput_data();
    void refusesBadInput();
    void imageUpload_data();
    void imageUpload();
    void notFound_data();
    void notFound();
    void recordPageEscapesValues_data();
    void recordPageEscapesValues();
    void faultsHitOnlyTheirTarget();
    void delayedRequestHoldsNeitherOthersNorShutdown();
    void exitsCleanlyOnTerminate();
    void refusesBadArguments_data();
    void refusesBadArguments();

private:
    void startServer(const QStringList& args = {});
    QNetworkRequest request(const QString& path) const;
    QNetworkReply* post(const QString& api, const QByteArray& body,
                        const QByteArray& requestId = {});
    QNetworkReply* upload(const QString& fileName, const QByteArray& content);
    HttpResult finish(QNetworkReply* reply);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QNetworkAccessManager> m_network;
    AdvisoryServerProcess m_server;
};

void tst_AdvisoryServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_network = std::make_unique<QNetworkAccessManager>();
}

void tst_AdvisoryServer::cleanup()
{
    m_server.stop();
    m_network.reset();
    m_dir.reset();
}

// Its database and, in data/, its images go below server/ in the test's directory.
void tst_AdvisoryServer::startServer(const QStringList& args)
{
    QVERIFY2(m_server.start(m_dir->filePath(QStringLiteral("server")), args),
             qPrintable(m_server.errorString()));
}

QNetworkRequest tst_AdvisoryServer::request(const QString& path) const
{
    QNetworkRequest request(
        QUrl::fromEncoded((m_server.baseUrl() + path).toUtf8(), QUrl::StrictMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    return request;
}

QNetworkReply* tst_AdvisoryServer::post(const QString& api, const QByteArray& body,
                                        const QByteArray& requestId)
{
    QNetworkRequest toSend = request(QLatin1Char('/') + api);
    if (!requestId.isEmpty())
        toSend.setRawHeader("X-Request-Id", requestId);
    return m_network->post(toSend, body);
}

QNetworkReply* tst_AdvisoryServer::upload(const QString& fileName, const QByteArray& content)
{
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(fileName));
    part.setBody(content);
    multiPart->append(part);
    QNetworkReply* reply =
        m_network->post(QNetworkRequest(QUrl(m_server.baseUrl() + "/image/upload")), multiPart);
    multiPart->setParent(reply);
    return reply;
}

HttpResult tst_AdvisoryServer::finish(QNetworkReply* reply)
{
    if (!reply->isFinished())
        QSignalSpy(reply, &QNetworkReply::finished).wait(20000);
    HttpResult result;
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    result.body = reply->readAll();
    reply->deleteLater();
    return result;
}

void tst_AdvisoryServer::builtInCategoriesHaveDistinctNumericCodes()
{
    startServer();
    const HttpResult result = finish(post(kBusinessTypeApi, R"({"venderId": -42})"));
    QCOMPARE(result.code(), 0);
    const QJsonArray tree = result.envelope().value("data").toArray();
    // The dialog offers two levels and reads each code as a decimal integer.
    QVERIFY(tree.size() >= 3);
    QSet<qlonglong> codes;
    int entries = 0;
    for (const QJsonValue& top : tree) {
        const QJsonArray children = top["children"].toArray();
        QVERIFY(!children.isEmpty());
        for (const QJsonValue& entry : children + top) {
            bool numeric = false;
            codes.insert(entry["businessTypeCode"].toString().toLongLong(&numeric));
            ++entries;
            QVERIFY2(numeric && !entry["businessTypeName"].toString().isEmpty(),
                     qPrintable(entry["businessTypeCode"].toString()));
        }
    }
    QCOMPARE(codes.size(), entries);
}

void tst_AdvisoryServer::storesRecordsOnceNewestFirst()
{
    startServer();
    const QJsonObject first = sampleRecord(QStringLiteral("older feedback"));
    const QJsonObject second = sampleRecord(QStringLiteral("newer feedback: 中文 ✓"));
    const QString firstId = finish(post(kStartAdvisoryApi, submissionBody(first), "req-1"))
                                .envelope()["data"]
                                .toString();
    const QString secondId =
        finish(post(kStartAdvisoryApi, submissionBody(second))).envelope()["data"].toString();
    QVERIFY(!firstId.isEmpty());
    QVERIFY(firstId != secondId);
    // A retry with the same request id is answered with the first attempt's feedback id.
    const HttpResult retry = finish(post(kStartAdvisoryApi, submissionBody(first), "req-1"));
    QCOMPARE(retry.code(), 0);
    QCOMPARE(retry.envelope()["data"].toString(), firstId);

    bool ok = false;
    const QJsonArray records = m_server.records(&ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0]["id"].toString(), secondId);
    QCOMPARE(records[0]["record"].toObject(), second);
    QCOMPARE(records[1]["record"].toObject(), first);
    QCOMPARE(records[1]["requestId"].toString(), QStringLiteral("req-1"));

    const QString html = QString::fromUtf8(finish(m_network->get(request(kRecordPage))).body);
    const int newer = html.indexOf(QStringLiteral("newer feedback: 中文 ✓"));
    QVERIFY(newer >= 0);
    QVERIFY(html.indexOf(QStringLiteral("older feedback")) > newer);
}

void tst_AdvisoryServer::refusesBadInput_data()
{
    QTest::addColumn<QString>("api");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expectedCode");

    const auto param = [](const QByteArray& value) { return "{\"param\": " + value + '}'; };
    const QString submit = kStartAdvisoryApi;
    QTest::newRow("not JSON") << submit << QByteArray("{param") << 4000;
    QTest::newRow("invalid UTF-8") << submit << param("{\"questionDesc\": \"\xFF\xFE\"}") << 4000;
    QTest::newRow("param as text") << submit << param(R"("{\"telphone\": \"1\"}")") << 4001;
    QTest::newRow("file entry not an object") << submit << param(R"({"files": ["a.png"]})") << 4002;
    QTest::newRow("telephone a number") << submit << param(R"({"telphone": 13800138000})") << 4002;
    QTest::newRow("over 1 MiB") << submit
                                << param("{\"questionDesc\": \"" + QByteArray(kMiB, 'x') + "\"}")
                                << 4013;
    QTest::newRow("vender id missing") << kBusinessTypeApi << QByteArray("{}") << 4002;
}

void tst_AdvisoryServer::refusesBadInput()
{
    QFETCH(QString, api);
    QFETCH(QByteArray, body);
    QFETCH(int, expectedCode);
    startServer();

    const HttpResult result = finish(post(api, body));
    QCOMPARE(result.status, 200);
    QCOMPARE(result.code(), expectedCode);
    QVERIFY(!result.envelope().value("msg").toString().isEmpty());
    QVERIFY(result.envelope().value("data").isNull());
    QCOMPARE(m_server.records().size(), 0);

    // The server goes on serving after the refusal.
    QCOMPARE(finish(post(kStartAdvisoryApi, submissionBody(sampleRecord("ok")))).code(), 0);
    QCOMPARE(m_server.records().size(), 1);
}

void tst_AdvisoryServer::imageUpload_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedCode");
    QTest::addColumn<QByteArray>("expectedType");

    const QByteArray png = kPngHeader + QByteArray("\x00\x00\x00\x0DIHDR", 8) + "pixels";
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + "pixels";
    const QByteArray big = kPngHeader + QByteArray(10 * kMiB - kPngHeader.size(), 'p');
    const QByteArray pngType("image/png");
    QTest::newRow("jpeg") << "a.jpg" << jpeg << 0 << QByteArray("image/jpeg");
    QTest::newRow("png named .jpg") << "a.jpg" << png << 0 << pngType;
    QTest::newRow("name with a path") << "../../escaped.png" << png << 0 << pngType;
    QTest::newRow("exactly 10 MiB") << "a.png" << big << 0 << pngType;
    QTest::newRow("over 10 MiB") << "a.png" << big + 'p' << 4101 << QByteArray();
    QTest::newRow("cut jpeg signature") << "a.jpg" << jpeg.left(2) << 4102 << QByteArray();
    QTest::newRow("empty file") << "a.png" << QByteArray() << 4102 << QByteArray();
}

void tst_AdvisoryServer::imageUpload()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, expectedCode);
    QFETCH(QByteArray, expectedType);
    startServer();

    const HttpResult result = finish(upload(fileName, content));
    QCOMPARE(result.code(), expectedCode);
    const QStringList stored =
        QDir(m_dir->filePath(QStringLiteral("server/data"))).entryList(QDir::Files);
    const QString imageUrl = result.envelope()["data"].toObject()["url"].toString();
    const QString prefix = m_server.baseUrl() + QStringLiteral("/images/");
    // Stored under a fresh name with the extension of its content, never the client's name.
    QCOMPARE(imageUrl.isEmpty(), expectedCode != 0);
    QCOMPARE(stored.size(), expectedCode == 0 ? 1 : 0);
    if (expectedCode != 0)
        return;
    QCOMPARE(prefix + stored.constFirst(), imageUrl);
    QVERIFY(imageUrl.endsWith(expectedType == "image/png" ? ".png" : ".jpg"));
    QVERIFY(!imageUrl.contains(QStringLiteral("escaped")));
    QVERIFY(QDir(m_dir->path()).entryList({QStringLiteral("escaped*")}).isEmpty());

    const HttpResult served = finish(m_network->get(request("/images/" + stored.constFirst())));
    QCOMPARE(served.status, 200);
    QCOMPARE(served.contentType, expectedType);
    QVERIFY(served.body == content);
}

void tst_AdvisoryServer::notFound_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");

    // The database lies one level above the image directory.
    QTest::newRow("image: parent directory") << QByteArray("GET") << "/images/..%2Fadvisory.db";
    QTest::newRow("image: parent, backslash") << QByteArray("GET") << "/images/..%5Cadvisory.db";
    QTest::newRow("image: absolute path") << QByteArray("GET") << "/images/%2Fetc%2Fhostname";
    QTest::newRow("image: unknown name")
        << QByteArray("GET") << "/images/0123456789abcdef0123456789abcdef.png";
    QTest::newRow("API name with a suffix") << QByteArray("POST") << "/" + kStartAdvisoryApi + "x";
    QTest::newRow("upload read with GET") << QByteArray("GET") << "/image/upload";
}

void tst_AdvisoryServer::notFound()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    startServer();
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("server/advisory.db"))));

    const HttpResult result = finish(m_network->sendCustomRequest(request(path), method, "{}"));
    QCOMPARE(result.status, 404);
    QVERIFY(!result.body.contains("SQLite"));
    QCOMPARE(m_server.records().size(), 0);
}

void tst_AdvisoryServer::recordPageEscapesValues_data()
{
    QTest::addColumn<QJsonObject>("record");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("forbidden");

    const auto file = [](const char* url, const char* name) {
        return QJsonObject{{"files", QJsonArray{QJsonObject{{"url", url}, {"fileName", name}}}}};
    };
    QTest::newRow("script in the description")
        << QJsonObject{{"questionDesc", "<script>alert('x')</script>"}}
        << "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;" << QStringList{"<script>alert"};
    QTest::newRow("markup in a category name")
        << QJsonObject{{"startBusinessCode1", 1907}, {"startBusinessName1", "<b>Orders</b>"}}
        << "1907</span>&lt;b&gt;Orders&lt;/b&gt;" << QStringList{"<b>Orders"};
    QTest::newRow("file name breaking out of an attribute")
        << file("http://127.0.0.1:9/images/a.png", "\"><img src=x onerror=alert(1)>")
        << "alt=\"&quot;&gt;&lt;img src=x onerror=alert(1)&gt;\"" << QStringList{"<img src=x"};
    QTest::newRow("script address for an image")
        << file("javascript:alert(1)", "a.png") << "javascript:alert(1)"
        << QStringList{"href=\"javascript:", "src=\"javascript:"};
    QTest::newRow("web address becomes a thumbnail link")
        << file("http://127.0.0.1:9/i.png?a=1&b=2", "shot.png")
        << "<a href=\"http://127.0.0.1:9/i.png?a=1&amp;b=2\"" << QStringList{"b=2\"><img"};
}

void tst_AdvisoryServer::recordPageEscapesValues()
{
    QFETCH(QJsonObject, record);
    QFETCH(QString, expected);
    QFETCH(QStringList, forbidden);
    startServer();
    QCOMPARE(finish(post(kStartAdvisoryApi, submissionBody(record))).code(), 0);

    const HttpResult page = finish(m_network->get(request(kRecordPage)));
    QCOMPARE(page.contentType, QByteArray("text/html; charset=utf-8"));
    const QString html = QString::fromUtf8(page.body);
    QVERIFY2(html.contains(expected), qPrintable(html));
    for (const QString& text : forbidden)
        QVERIFY2(!html.contains(text), qPrintable(text));
}

void tst_AdvisoryServer::faultsHitOnlyTheirTarget()
{
    startServer(
        {"--fault", kStartAdvisoryApi + "=delay:300", "--fault", kStartAdvisoryApi + "=error:9"});
    QElapsedTimer clock;
    clock.start();
    const HttpResult failed = finish(post(kStartAdvisoryApi, submissionBody(sampleRecord("x"))));
    QVERIFY(clock.elapsed() >= 300);
    QCOMPARE(failed.code(), 9);
    QCOMPARE(m_server.records().size(), 0);
    QCOMPARE(finish(post(kBusinessTypeApi, R"({"venderId": "10086"})")).code(), 0);
}

void tst_AdvisoryServer::delayedRequestHoldsNeitherOthersNorShutdown()
{
    startServer({"--fault", kStartAdvisoryApi + "=delay:60000"});
    QNetworkReply* delayed = post(kStartAdvisoryApi, submissionBody(sampleRecord("late")));
    QSignalSpy delayedFinished(delayed, &QNetworkReply::finished);

    for (int i = 0; i < 3; ++i)
        QCOMPARE(finish(post(kBusinessTypeApi, R"({"venderId": "10086"})")).code(), 0);
    QCOMPARE(delayedFinished.count(), 0);

    QElapsedTimer clock;
    clock.start();
    m_server.stop();
    // Well under the five seconds after which the test wrapper would kill the server: no idle
    // kept-alive connection holds it.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(delayedFinished.count(), 1, 10000);
    QVERIFY(delayed->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200);
    delayed->deleteLater();
}

void tst_AdvisoryServer::exitsCleanlyOnTerminate()
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.setWorkingDirectory(m_dir->path());
    process.start(m_server.programPath(), {"--port", "0"});
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
    QVERIFY(process.readLine().startsWith("listening on http://127.0.0.1:"));
    // Run from a working directory, the defaults land there.
    QVERIFY(QFile::exists(m_dir->filePath("advisory.db")));
    QVERIFY(QFileInfo(m_dir->filePath("advisory-data")).isDir());

    process.terminate();
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
}

void tst_AdvisoryServer::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("args");

    const QString fault = QStringLiteral("--fault");
    QTest::newRow("unknown option") << QStringList{"--verbose"};
    QTest::newRow("option without value") << QStringList{fault};
    QTest::newRow("fault on unknown target") << QStringList{fault, "image/download=error:1"};
    QTest::newRow("error code zero") << QStringList{fault, kStartAdvisoryApi + "=error:0"};
}

void tst_AdvisoryServer::refusesBadArguments()
{
    QFETCH(QStringList, args);
    QVERIFY(!m_server.start(m_dir->filePath(QStringLiteral("server")), args));
    QVERIFY(m_server.baseUrl().isEmpty());
}

QTEST_GUILESS_MAIN(tst_AdvisoryServer)
#include "tst_advisoryserver.moc"
