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
    void servesOnlyItsOwnImageNames_data();
    void servesOnlyItsOwnImageNames();
    void recordPageEscapesValues_data();
    void recordPageEscapesValues();
    void delayedRequestHoldsNeitherOthersNorShutdown();
    void refusesBadArguments_data();
    void refusesBadArguments();

private:
    void startServer(const QStringList& args = {});
    QNetworkRequest request(const QString& path) const;
    QNetworkReply* post(const QString& api, const QByteArray& body);
    HttpResult submit(const QJsonObject& record, const QByteArray& requestId = {});
    QNetworkReply* upload(const QString& fileName, const QByteArray& content);
    HttpResult finish(QNetworkReply* reply);

    std::unique_ptr<QTemporaryDir> m_dir;
    QNetworkAccessManager m_network;
    AdvisoryServerProcess m_server;
};

void tst_AdvisoryServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_AdvisoryServer::cleanup()
{
    m_server.stop();
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

QNetworkReply* tst_AdvisoryServer::post(const QString& api, const QByteArray& body)
{
    return m_network.post(request(QLatin1Char('/') + api), body);
}

// A record sent as the module sends it.
HttpResult tst_AdvisoryServer::submit(const QJsonObject& record, const QByteArray& requestId)
{
    QNetworkRequest toSend = request(QLatin1Char('/') + kStartAdvisoryApi);
    if (!requestId.isEmpty())
        toSend.setRawHeader("X-Request-Id", requestId);
    return finish(m_network.post(toSend, QJsonDocument(QJsonObject{{"param", record}}).toJson()));
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
        m_network.post(QNetworkRequest(QUrl(m_server.baseUrl() + "/image/upload")), multiPart);
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
    const QJsonObject first{{"questionDesc", "older feedback"}, {"startBusinessCode1", 1907}};
    const QJsonObject second{{"questionDesc", "newer feedback: 中文 ✓"}, {"telphone", "138"}};
    const QString firstId = submit(first, "req-1").envelope()["data"].toString();
    const QString secondId = submit(second).envelope()["data"].toString();
    QVERIFY(!firstId.isEmpty() && firstId != secondId);
    // A retry with the same request id is answered with the first attempt's feedback id.
    QCOMPARE(submit(first, "req-1").envelope()["data"].toString(), firstId);

    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0]["id"].toString(), secondId);
    QCOMPARE(records[0]["record"].toObject(), second);
    QCOMPARE(records[1]["record"].toObject(), first);
    QCOMPARE(records[1]["requestId"].toString(), QStringLiteral("req-1"));

    const QString html = QString::fromUtf8(finish(m_network.get(request(kRecordPage))).body);
    const int newer = html.indexOf(QStringLiteral("newer feedback: 中文 ✓"));
    QVERIFY(newer >= 0 && html.indexOf(QStringLiteral("older feedback")) > newer);
}

void tst_AdvisoryServer::refusesBadInput_data()
{
    QTest::addColumn<QString>("api");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expectedCode");

    const auto param = [](const QByteArray& value) { return "{\"param\": " + value + '}'; };
    const QString submit = kStartAdvisoryApi;
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
    QCOMPARE(result.code(), expectedCode);
    QVERIFY(!result.envelope().value("msg").toString().isEmpty());

    // Nothing was stored, and the server goes on serving after the refusal.
    QCOMPARE(submit({{"questionDesc", "ok"}}).code(), 0);
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
    QTest::newRow("png named ../../escaped.jpg") << "../../escaped.jpg" << png << 0 << pngType;
    QTest::newRow("exactly 10 MiB") << "a.png" << big << 0 << pngType;
    QTest::newRow("over 10 MiB") << "a.png" << big + 'p' << 4101 << QByteArray();
    QTest::newRow("cut jpeg signature") << "a.jpg" << jpeg.left(2) << 4102 << QByteArray();
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
    QCOMPARE(stored.size(), expectedCode == 0 ? 1 : 0);
    if (expectedCode != 0)
        return;
    // Stored in its directory under a name of the server's own, with the type of its content:
    // the client's name is never used.
    const QString imageUrl = result.envelope()["data"].toObject()["url"].toString();
    QCOMPARE(imageUrl, m_server.baseUrl() + QStringLiteral("/images/") + stored.constFirst());
    const HttpResult served = finish(m_network.get(QNetworkRequest(QUrl(imageUrl))));
    QCOMPARE(served.contentType, expectedType);
    QVERIFY(served.body == content);
}

void tst_AdvisoryServer::servesOnlyItsOwnImageNames_data()
{
    QTest::addColumn<QString>("name");

    // The database lies one level above the image directory.
    QTest::newRow("parent directory") << "..%2Fadvisory.db";
    QTest::newRow("parent directory, backslash") << "..%5Cadvisory.db";
    QTest::newRow("absolute path") << "%2Fetc%2Fhostname";
    QTest::newRow("unknown name") << "0123456789abcdef0123456789abcdef.png";
}

void tst_AdvisoryServer::servesOnlyItsOwnImageNames()
{
    QFETCH(QString, name);
    startServer();
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("server/advisory.db"))));

    const HttpResult result = finish(m_network.get(request("/images/" + name)));
    QCOMPARE(result.status, 404);
}

void tst_AdvisoryServer::recordPageEscapesValues_data()
{
    QTest::addColumn<QJsonObject>("record");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("forbidden");

    const auto file = [](const char* url, const char* name) {
        return QJsonObject{{"files", QJsonArray{QJsonObject{{"url", url}, {"fileName", name}}}}};
    };
    QTest::newRow("script in the description")
        << QJsonObject{{"questionDesc", "<script>alert('x')</script>"}}
        << "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;" << QStringLiteral("<script>alert");
    QTest::newRow("markup in a category name")
        << QJsonObject{{"startBusinessCode1", 1907}, {"startBusinessName1", "<b>Orders</b>"}}
        << "1907</span>&lt;b&gt;Orders&lt;/b&gt;" << QStringLiteral("<b>Orders");
    QTest::newRow("file name breaking out of an attribute")
        << file("http://127.0.0.1:9/images/a.png", "\"><img src=x onerror=alert(1)>")
        << "alt=\"&quot;&gt;&lt;img src=x onerror=alert(1)&gt;\"" << QStringLiteral("<img src=x");
    QTest::newRow("script address for an image")
        << file("javascript:alert(1)", "a.png") << "javascript:alert(1)"
        << QStringLiteral("=\"javascript:");
    QTest::newRow("web address becomes a thumbnail link")
        << file("http://127.0.0.1:9/i.png?a=1&b=2", "shot.png")
        << "<a href=\"http://127.0.0.1:9/i.png?a=1&amp;b=2\"" << QStringLiteral("b=2\"><img");
}

void tst_AdvisoryServer::recordPageEscapesValues()
{
    QFETCH(QJsonObject, record);
    QFETCH(QString, expected);
    QFETCH(QString, forbidden);
    startServer();
    QCOMPARE(submit(record).code(), 0);

    const HttpResult page = finish(m_network.get(request(kRecordPage)));
    QCOMPARE(page.contentType, QByteArray("text/html; charset=utf-8"));
    const QString html = QString::fromUtf8(page.body);
    QVERIFY2(html.contains(expected), qPrintable(html));
    QVERIFY2(!html.contains(forbidden), qPrintable(forbidden));
}

// A request held by a fault delays neither other connections nor the server's shutdown.
void tst_AdvisoryServer::delayedRequestHoldsNeitherOthersNorShutdown()
{
    startServer({"--fault", kStartAdvisoryApi + "=delay:60000"});
    QNetworkReply* delayed = post(kStartAdvisoryApi, R"({"param": {}})");
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
}

QTEST_GUILESS_MAIN(tst_AdvisoryServer)
#include "tst_advisoryserver.moc"
