#include "AdvisoryServerProcess.h"
#include "TestMessageHandler.h"

#include <QDateTime>
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
#include <QRegularExpression>
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
const QString kImageUpload = QStringLiteral("image/upload");

const QByteArray kPngHeader("\x89PNG\r\n\x1A\n", 8);
const QByteArray kJpegHeader("\xFF\xD8\xFF\xE0", 4);
constexpr int kMiB = 1024 * 1024;

struct HttpResult
{
    bool finished = false;
    int status = 0;
    QByteArray contentType;
    QByteArray body;

    // The reply envelope, or an empty object when the body is not a JSON object.
    QJsonObject envelope() const
    {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(body, &error);
        return error.error == QJsonParseError::NoError ? doc.object() : QJsonObject();
    }
};

// A record as the module sends it: codes and the platform as numbers, the rest as text.
QJsonObject sampleRecord(const QString& description)
{
    return QJsonObject{
        {"startBusinessCode1", 1907},
        {"startBusinessName1", "Account and login"},
        {"startBusinessCode2", 1908},
        {"startBusinessName2", "Cannot log in"},
        {"venderId", "10086"},
        {"userId", "q83vEjRWeJo="},
        {"telphone", "13800138000"},
        {"questionDesc", description},
        {"files", QJsonArray{QJsonObject{{"url", "http://127.0.0.1:9/images/a.png"},
                                         {"fileName", "UploadImage-a.jpg"}}}},
        {"version", "3.2.1"},
        {"platform", 2},
        {"systemName", "windows"},
        {"systemVersion", "10"},
        {"ip", "10.0.0.8"},
        {"resolution", "1920*1040 100%"},
        {"sourceType", ""},
        {"browserVersion", "110.0"},
        {"deviceId", "2f1d7c84-5a8e-4c43-9f0e-6b1f0b8f2a11"},
    };
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
    void initTestCase();
    void init();
    void cleanup();

    void categories_data();
    void categories();
    void storesRecordsNewestFirst();
    void requestIdMakesSubmissionIdempotent_data();
    void requestIdMakesSubmissionIdempotent();
    void refusesBadInput_data();
    void refusesBadInput();
    void imageUpload_data();
    void imageUpload();
    void refusesImagePaths_data();
    void refusesImagePaths();
    void recordPageEscapesValues_data();
    void recordPageEscapesValues();
    void recordPageListsNewestFirst();
    void faults_data();
    void faults();
    void delayedRequestHoldsNeitherOthersNorShutdown();
    void exitsCleanlyOnTerminate();
    void refusesBadArguments_data();
    void refusesBadArguments();
    void unknownPathsAreNotFound_data();
    void unknownPathsAreNotFound();

private:
    // What the server gets to work in: its database, and its images in the data directory.
    QString serverRoot() const { return m_dir->filePath(QStringLiteral("server")); }
    QString dataDir() const { return serverRoot() + QStringLiteral("/data"); }
    QUrl url(const QString& path) const { return QUrl(m_server.baseUrl() + path); }
    QString writeFile(const QString& name, const QByteArray& content) const;
    QNetworkReply* post(const QString& api, const QByteArray& body,
                        const QByteArray& requestId = {});
    QNetworkReply* upload(const QString& field, const QString& fileName, const QByteArray& content);
    // A well-formed request to the given target (an API name or image/upload).
    QNetworkReply* validRequest(const QString& target);
    HttpResult get(const QString& path);
    HttpResult finish(QNetworkReply* reply);
    int storedCount() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QNetworkAccessManager> m_network;
    AdvisoryServerProcess m_server;
};

void tst_AdvisoryServer::initTestCase()
{
    TestMessageHandler::install();
}

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

QString tst_AdvisoryServer::writeFile(const QString& name, const QByteArray& content) const
{
    const QString path = m_dir->filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
    return path;
}

QNetworkReply* tst_AdvisoryServer::post(const QString& api, const QByteArray& body,
                                        const QByteArray& requestId)
{
    QNetworkRequest request(url(QLatin1Char('/') + api));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!requestId.isEmpty())
        request.setRawHeader("X-Request-Id", requestId);
    return m_network->post(request, body);
}

QNetworkReply* tst_AdvisoryServer::upload(const QString& field, const QString& fileName,
                                          const QByteArray& content)
{
    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"%1\"; filename=\"%2\"").arg(field, fileName));
    part.setHeader(QNetworkRequest::ContentTypeHeader,
                   QByteArrayLiteral("application/octet-stream"));
    part.setBody(content);
    multiPart->append(part);
    QNetworkReply* reply = m_network->post(QNetworkRequest(url("/image/upload")), multiPart);
    multiPart->setParent(reply);
    return reply;
}

QNetworkReply* tst_AdvisoryServer::validRequest(const QString& target)
{
    if (target == kBusinessTypeApi)
        return post(target, R"({"venderId": "10086"})");
    if (target == kStartAdvisoryApi)
        return post(target, submissionBody(sampleRecord(QStringLiteral("valid"))));
    return upload(QStringLiteral("file"), QStringLiteral("shot.png"), kPngHeader + "pixels");
}

HttpResult tst_AdvisoryServer::get(const QString& path)
{
    return finish(m_network->get(QNetworkRequest(
        QUrl::fromEncoded((m_server.baseUrl() + path).toUtf8(), QUrl::StrictMode))));
}

HttpResult tst_AdvisoryServer::finish(QNetworkReply* reply)
{
    if (!reply->isFinished()) {
        QSignalSpy finished(reply, &QNetworkReply::finished);
        finished.wait(20000);
    }
    HttpResult result;
    result.finished = reply->isFinished();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    result.body = reply->readAll();
    reply->deleteLater();
    return result;
}

int tst_AdvisoryServer::storedCount() const
{
    bool ok = false;
    const int count = m_server.records(&ok).size();
    return ok ? count : -1;
}

void tst_AdvisoryServer::categories_data()
{
    QTest::addColumn<QByteArray>("categoriesFile"); // empty: the built-in tree
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("built-in, vender id as text")
        << QByteArray() << QByteArray(R"({"venderId": "0"})");
    QTest::newRow("built-in, vender id as number")
        << QByteArray() << QByteArray(R"({"venderId": -42})");
    QTest::newRow("file, three levels and integer codes")
        << QByteArray(R"([{"businessTypeCode": "3001", "businessTypeName": "Billing",
                           "children": [{"businessTypeCode": 3002, "businessTypeName": "Invoices",
                                         "children": [{"businessTypeCode": "3003",
                                                       "businessTypeName": "Missing invoice",
                                                       "children": []}]}]},
                          {"businessTypeCode": "3101", "businessTypeName": "Shipping",
                           "children": [{"businessTypeCode": "3102",
                                         "businessTypeName": "Late parcels", "children": []}]}])")
        << QByteArray(R"({"venderId": "10086"})");
}

void tst_AdvisoryServer::categories()
{
    QFETCH(QByteArray, categoriesFile);
    QFETCH(QByteArray, body);

    QStringList args;
    if (!categoriesFile.isEmpty())
        args << "--categories" << writeFile("categories.json", categoriesFile);
    QVERIFY2(m_server.start(serverRoot(), args), qPrintable(m_server.errorString()));

    const HttpResult result = finish(post(kBusinessTypeApi, body));
    QVERIFY(result.finished);
    QCOMPARE(result.status, 200);
    const QJsonObject envelope = result.envelope();
    QCOMPARE(envelope.value("code").toInt(-1), 0);
    const QJsonArray tree = envelope.value("data").toArray();

    if (!categoriesFile.isEmpty()) {
        QCOMPARE(tree, QJsonDocument::fromJson(categoriesFile).array());
        return;
    }
    // The dialog offers two levels and reads each code as a decimal integer.
    QVERIFY(tree.size() >= 3);
    QSet<qlonglong> codes;
    for (const QJsonValue& top : tree) {
        const QJsonArray children = top["children"].toArray();
        QVERIFY(!children.isEmpty());
        QJsonArray level = children;
        level.prepend(top);
        for (const QJsonValue& entry : level) {
            bool numeric = false;
            const qlonglong code = entry["businessTypeCode"].toString().toLongLong(&numeric);
            QVERIFY2(numeric, qPrintable(entry["businessTypeCode"].toString()));
            QVERIFY(!codes.contains(code));
            codes.insert(code);
            QVERIFY(!entry["businessTypeName"].toString().isEmpty());
        }
    }
}

void tst_AdvisoryServer::storesRecordsNewestFirst()
{
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-60);

    const QJsonObject first = sampleRecord(QStringLiteral("The order list stays empty."));
    const QJsonObject second = sampleRecord(QStringLiteral("Second problem: 中文 ✓"));
    const QJsonObject firstReply =
        finish(post(kStartAdvisoryApi, submissionBody(first), "req-first")).envelope();
    const QJsonObject secondReply =
        finish(post(kStartAdvisoryApi, submissionBody(second))).envelope();
    QCOMPARE(firstReply.value("code").toInt(-1), 0);
    QCOMPARE(secondReply.value("code").toInt(-1), 0);
    QVERIFY(firstReply.value("data").isString());
    const QString firstId = firstReply.value("data").toString();
    const QString secondId = secondReply.value("data").toString();
    QVERIFY(!firstId.isEmpty());
    QVERIFY(firstId != secondId);

    bool ok = false;
    const QJsonArray records = m_server.records(&ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0]["id"].toString(), secondId);
    QCOMPARE(records[0]["record"].toObject(), second);
    QCOMPARE(records[0]["requestId"].toString(), QString());
    QCOMPARE(records[1]["id"].toString(), firstId);
    QCOMPARE(records[1]["record"].toObject(), first);
    QCOMPARE(records[1]["requestId"].toString(), QStringLiteral("req-first"));

    const QString time = records[1]["time"].toString();
    QVERIFY2(
        QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d(\.\d+)?Z$)").match(time).hasMatch(),
        qPrintable(time));
    const QDateTime stored = QDateTime::fromString(time, Qt::ISODateWithMs);
    QVERIFY(stored >= before);
    QVERIFY(stored <= QDateTime::currentDateTimeUtc().addSecs(60));
}

void tst_AdvisoryServer::requestIdMakesSubmissionIdempotent_data()
{
    QTest::addColumn<QByteArray>("firstId");
    QTest::addColumn<QByteArray>("secondId");
    QTest::addColumn<int>("expectedCount");

    QTest::newRow("same id") << QByteArray("6f1c2b9e-0d2a-4c53-8d1e-2f3a4b5c6d7e")
                             << QByteArray("6f1c2b9e-0d2a-4c53-8d1e-2f3a4b5c6d7e") << 1;
    QTest::newRow("different ids") << QByteArray("id-a") << QByteArray("id-b") << 2;
    QTest::newRow("no ids") << QByteArray() << QByteArray() << 2;
    QTest::newRow("one id, one without") << QByteArray("id-a") << QByteArray() << 2;
}

void tst_AdvisoryServer::requestIdMakesSubmissionIdempotent()
{
    QFETCH(QByteArray, firstId);
    QFETCH(QByteArray, secondId);
    QFETCH(int, expectedCount);
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));

    const QByteArray body = submissionBody(sampleRecord(QStringLiteral("retried")));
    const QJsonObject first = finish(post(kStartAdvisoryApi, body, firstId)).envelope();
    const QJsonObject second = finish(post(kStartAdvisoryApi, body, secondId)).envelope();
    QCOMPARE(first.value("code").toInt(-1), 0);
    QCOMPARE(second.value("code").toInt(-1), 0);
    QCOMPARE(storedCount(), expectedCount);
    // A retry answers the feedback id of the first attempt; distinct submissions get their own.
    QCOMPARE(first.value("data").toString() == second.value("data").toString(), expectedCount == 1);
}

void tst_AdvisoryServer::refusesBadInput_data()
{
    QTest::addColumn<QString>("api");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("expectedCode");

    const auto submission = [](const char* param) {
        return QByteArray(R"({"param": )") + param + '}';
    };
    QTest::newRow("not JSON") << kStartAdvisoryApi << QByteArray("{param") << 4000;
    QTest::newRow("empty body") << kStartAdvisoryApi << QByteArray() << 4000;
    QTest::newRow("array body") << kStartAdvisoryApi << QByteArray("[]") << 4000;
    QTest::newRow("invalid UTF-8")
        << kStartAdvisoryApi << submission("{\"questionDesc\": \"\xFF\xFE\"}") << 4000;
    QTest::newRow("param missing") << kStartAdvisoryApi << QByteArray("{}") << 4001;
    QTest::newRow("param as text")
        << kStartAdvisoryApi << submission(R"("{\"telphone\": \"13800138000\"}")") << 4001;
    QTest::newRow("param null") << kStartAdvisoryApi << submission("null") << 4001;
    QTest::newRow("files not an array")
        << kStartAdvisoryApi << submission(R"({"files": "a.png"})") << 4002;
    QTest::newRow("file entry not an object")
        << kStartAdvisoryApi << submission(R"({"files": ["a.png"]})") << 4002;
    QTest::newRow("file url a number")
        << kStartAdvisoryApi << submission(R"({"files": [{"url": 5, "fileName": "a.png"}]})")
        << 4002;
    QTest::newRow("telephone a number")
        << kStartAdvisoryApi << submission(R"({"telphone": 13800138000})") << 4002;
    QTest::newRow("description null")
        << kStartAdvisoryApi << submission(R"({"questionDesc": null})") << 4002;
    QTest::newRow("category code a boolean")
        << kStartAdvisoryApi << submission(R"({"startBusinessCode1": true})") << 4002;
    QTest::newRow("submission over 1 MiB")
        << kStartAdvisoryApi
        << submission(("{\"questionDesc\": \"" + QByteArray(kMiB, 'x') + "\"}").constData())
        << 4013;
    QTest::newRow("vender id missing") << kBusinessTypeApi << QByteArray("{}") << 4002;
    QTest::newRow("vender id an object")
        << kBusinessTypeApi << QByteArray(R"({"venderId": {}})") << 4002;
    QTest::newRow("category query not JSON")
        << kBusinessTypeApi << QByteArray("venderId=1") << 4000;
    QTest::newRow("category query over 1 MiB")
        << kBusinessTypeApi << ("{\"venderId\": \"" + QByteArray(kMiB, '1') + "\"}") << 4013;
}

void tst_AdvisoryServer::refusesBadInput()
{
    QFETCH(QString, api);
    QFETCH(QByteArray, body);
    QFETCH(int, expectedCode);
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));

    const HttpResult result = finish(post(api, body));
    QVERIFY(result.finished);
    QCOMPARE(result.status, 200);
    const QJsonObject envelope = result.envelope();
    QCOMPARE(envelope.value("code").toInt(-1), expectedCode);
    QVERIFY(!envelope.value("msg").toString().isEmpty());
    QVERIFY(envelope.value("data").isNull());
    QCOMPARE(storedCount(), 0);

    // The server goes on serving after the refusal.
    QCOMPARE(finish(validRequest(kStartAdvisoryApi)).envelope().value("code").toInt(-1), 0);
    QCOMPARE(storedCount(), 1);
}

void tst_AdvisoryServer::imageUpload_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedCode");
    QTest::addColumn<QByteArray>("expectedType");

    const QByteArray png = kPngHeader + QByteArray("\x00\x00\x00\x0DIHDR", 8) + "pixels";
    const QByteArray jpeg = kJpegHeader + QByteArray("\x00\x10JFIF", 6) + "pixels";
    QTest::newRow("png") << "file"
                         << "shot.png" << png << 0 << QByteArray("image/png");
    QTest::newRow("jpeg") << "file"
                          << "photo.jpg" << jpeg << 0 << QByteArray("image/jpeg");
    QTest::newRow("png named .jpg") << "file"
                                    << "photo.jpg" << png << 0 << QByteArray("image/png");
    QTest::newRow("client name with a path")
        << "file"
        << "../../escaped.png" << png << 0 << QByteArray("image/png");
    QTest::newRow("exactly 10 MiB")
        << "file"
        << "big.png" << (kPngHeader + QByteArray(10 * kMiB - kPngHeader.size(), 'p')) << 0
        << QByteArray("image/png");
    QTest::newRow("over 10 MiB") << "file"
                                 << "big.jpg" << (kJpegHeader + QByteArray(10 * kMiB - 3, 'j'))
                                 << 4101 << QByteArray();
    QTest::newRow("text") << "file"
                          << "notes.png" << QByteArray("hello, not an image") << 4102
                          << QByteArray();
    QTest::newRow("truncated jpeg signature")
        << "file"
        << "a.jpg" << QByteArray("\xFF\xD8", 2) << 4102 << QByteArray();
    QTest::newRow("empty file") << "file"
                                << "a.png" << QByteArray() << 4102 << QByteArray();
    QTest::newRow("wrong field") << "image"
                                 << "a.png" << png << 4100 << QByteArray();
}

void tst_AdvisoryServer::imageUpload()
{
    QFETCH(QString, field);
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, expectedCode);
    QFETCH(QByteArray, expectedType);
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));

    const HttpResult result = finish(upload(field, fileName, content));
    QVERIFY(result.finished);
    QCOMPARE(result.status, 200);
    const QJsonObject envelope = result.envelope();
    QCOMPARE(envelope.value("code").toInt(-1), expectedCode);
    const QStringList stored = QDir(dataDir()).entryList(QDir::Files);
    if (expectedCode != 0) {
        QVERIFY(envelope.value("data").isNull());
        QVERIFY(stored.isEmpty());
        return;
    }

    const QString imageUrl = envelope.value("data").toObject().value("url").toString();
    const QString prefix = m_server.baseUrl() + QStringLiteral("/images/");
    QVERIFY2(imageUrl.startsWith(prefix), qPrintable(imageUrl));
    const QString name = imageUrl.mid(prefix.size());
    // Stored under a fresh name with the extension of its content, never the client's name.
    QCOMPARE(stored, QStringList{name});
    QVERIFY(name.endsWith(expectedType == "image/png" ? ".png" : ".jpg"));
    QVERIFY(!name.contains(QFileInfo(fileName).completeBaseName()));
    QVERIFY(!QFile::exists(m_dir->filePath("escaped.png")));
    QVERIFY(!QFile::exists(serverRoot() + "/escaped.png"));

    const HttpResult served = get(QStringLiteral("/images/") + name);
    QCOMPARE(served.status, 200);
    QCOMPARE(served.contentType, expectedType);
    QVERIFY(served.body == content);
}

void tst_AdvisoryServer::refusesImagePaths_data()
{
    QTest::addColumn<QString>("path");

    // The database lies one level above the image directory.
    QTest::newRow("parent directory") << "/images/..%2Fadvisory.db";
    QTest::newRow("parent directory, backslash") << "/images/..%5Cadvisory.db";
    QTest::newRow("absolute path") << "/images/%2Fetc%2Fhostname";
    QTest::newRow("dot dot alone") << "/images/..";
    QTest::newRow("no name") << "/images/";
    QTest::newRow("unknown image") << "/images/0123456789abcdef0123456789abcdef.png";
}

void tst_AdvisoryServer::refusesImagePaths()
{
    QFETCH(QString, path);
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));
    QVERIFY(QFile::exists(serverRoot() + "/advisory.db"));

    const HttpResult result = get(path);
    QVERIFY(result.finished);
    QCOMPARE(result.status, 404);
    QVERIFY(!result.body.contains("SQLite"));
}

void tst_AdvisoryServer::recordPageEscapesValues_data()
{
    QTest::addColumn<QJsonObject>("record");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QStringList>("forbidden");

    QTest::newRow("script in the description")
        << QJsonObject{{"questionDesc", "<script>alert('x')</script>"}}
        << "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;" << QStringList{"<script>alert"};
    QTest::newRow("quotes and ampersand in the telephone")
        << QJsonObject{{"telphone", "\"138\" & '00'"}} << "&quot;138&quot; &amp; &#39;00&#39;"
        << QStringList{"\"138\""};
    QTest::newRow("markup in a category name")
        << QJsonObject{{"startBusinessCode1", 1907}, {"startBusinessName1", "<b>Orders</b>"}}
        << "1907</span>&lt;b&gt;Orders&lt;/b&gt;" << QStringList{"<b>Orders"};
    QTest::newRow("markup in a category code")
        << QJsonObject{{"startBusinessCode2", "2<3"}, {"startBusinessName2", "Refunds"}} << "2&lt;3"
        << QStringList{"2<3"};
    QTest::newRow("file name breaking out of an attribute")
        << QJsonObject{{"files",
                        QJsonArray{QJsonObject{{"url", "http://127.0.0.1:9/images/a.png"},
                                               {"fileName", "\"><img src=x onerror=alert(1)>"}}}}}
        << "alt=\"&quot;&gt;&lt;img src=x onerror=alert(1)&gt;\"" << QStringList{"<img src=x"};
    QTest::newRow("script address for an image")
        << QJsonObject{{"files", QJsonArray{QJsonObject{{"url", "javascript:alert(1)"},
                                                        {"fileName", "a.png"}}}}}
        << "javascript:alert(1)" << QStringList{"href=\"javascript:", "src=\"javascript:"};
    QTest::newRow("web address becomes a thumbnail link")
        << QJsonObject{{"files", QJsonArray{QJsonObject{{"url", "http://127.0.0.1:9/i.png?a=1&b=2"},
                                                        {"fileName", "shot.png"}}}}}
        << "<a href=\"http://127.0.0.1:9/i.png?a=1&amp;b=2\"" << QStringList{"b=2\"><img"};
}

void tst_AdvisoryServer::recordPageEscapesValues()
{
    QFETCH(QJsonObject, record);
    QFETCH(QString, expected);
    QFETCH(QStringList, forbidden);
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));
    QCOMPARE(
        finish(post(kStartAdvisoryApi, submissionBody(record))).envelope().value("code").toInt(-1),
        0);

    const HttpResult page = get(QStringLiteral("/app/advisory/AdvisoryList"));
    QCOMPARE(page.status, 200);
    QCOMPARE(page.contentType, QByteArray("text/html; charset=utf-8"));
    const QString html = QString::fromUtf8(page.body);
    QVERIFY2(html.contains(expected), qPrintable(html));
    for (const QString& text : forbidden)
        QVERIFY2(!html.contains(text), qPrintable(text));
}

void tst_AdvisoryServer::recordPageListsNewestFirst()
{
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));
    for (const QString& description :
         {QStringLiteral("older feedback"), QStringLiteral("newer feedback")}) {
        const HttpResult result =
            finish(post(kStartAdvisoryApi, submissionBody(sampleRecord(description))));
        QCOMPARE(result.envelope().value("code").toInt(-1), 0);
    }
    const QString html = QString::fromUtf8(get(QStringLiteral("/app/advisory/AdvisoryList")).body);
    const int newer = html.indexOf(QStringLiteral("newer feedback"));
    const int older = html.indexOf(QStringLiteral("older feedback"));
    QVERIFY(newer >= 0);
    QVERIFY(older > newer);
    QVERIFY(html.contains(QStringLiteral("Cannot log in")));
    QVERIFY(html.contains(QStringLiteral("13800138000")));
}

void tst_AdvisoryServer::faults_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<int>("expectedStatus");
    QTest::addColumn<int>("expectedCode"); // -1: the body is not a JSON envelope
    QTest::addColumn<int>("minimumMs");

    QTest::newRow("error on submission")
        << kStartAdvisoryApi << QStringList{"error:5031"} << 200 << 5031 << 0;
    QTest::newRow("negative error on categories")
        << kBusinessTypeApi << QStringList{"error:-7"} << 200 << -7 << 0;
    QTest::newRow("error on upload")
        << kImageUpload << QStringList{"error:4999"} << 200 << 4999 << 0;
    QTest::newRow("malformed categories")
        << kBusinessTypeApi << QStringList{"malformed"} << 200 << -1 << 0;
    QTest::newRow("malformed submission")
        << kStartAdvisoryApi << QStringList{"malformed"} << 200 << -1 << 0;
    QTest::newRow("HTTP 500 on submission")
        << kStartAdvisoryApi << QStringList{"http:500"} << 500 << -1 << 0;
    QTest::newRow("HTTP 503 on upload")
        << kImageUpload << QStringList{"http:503"} << 503 << -1 << 0;
    QTest::newRow("delayed submission")
        << kStartAdvisoryApi << QStringList{"delay:400"} << 200 << 0 << 400;
    QTest::newRow("delayed categories")
        << kBusinessTypeApi << QStringList{"delay:300"} << 200 << 0 << 300;
    QTest::newRow("delay, then error")
        << kStartAdvisoryApi << QStringList{"delay:300", "error:9"} << 200 << 9 << 300;
}

void tst_AdvisoryServer::faults()
{
    QFETCH(QString, target);
    QFETCH(QStringList, faults);
    QFETCH(int, expectedStatus);
    QFETCH(int, expectedCode);
    QFETCH(int, minimumMs);

    QStringList args;
    for (const QString& fault : faults)
        args << "--fault" << target + QLatin1Char('=') + fault;
    QVERIFY2(m_server.start(serverRoot(), args), qPrintable(m_server.errorString()));

    QElapsedTimer clock;
    clock.start();
    const HttpResult result = finish(validRequest(target));
    QVERIFY(result.finished);
    QVERIFY(clock.elapsed() >= minimumMs);
    QCOMPARE(result.status, expectedStatus);
    const QJsonObject envelope = result.envelope();
    if (expectedCode == -1) {
        QVERIFY2(envelope.isEmpty(), result.body.constData());
    } else {
        QCOMPARE(envelope.value("code").toInt(-12345), expectedCode);
        if (expectedCode != 0)
            QCOMPARE(envelope.value("msg").toString(), QStringLiteral("injected failure"));
    }
    const bool succeeded = expectedStatus == 200 && expectedCode == 0;
    QCOMPARE(storedCount(), target == kStartAdvisoryApi && succeeded ? 1 : 0);
    QCOMPARE(QDir(dataDir()).entryList(QDir::Files).size(),
             target == kImageUpload && succeeded ? 1 : 0);

    // Only the named target misbehaves.
    const QString other = target == kBusinessTypeApi ? kStartAdvisoryApi : kBusinessTypeApi;
    const HttpResult otherResult = finish(validRequest(other));
    QCOMPARE(otherResult.status, 200);
    QCOMPARE(otherResult.envelope().value("code").toInt(-1), 0);
}

void tst_AdvisoryServer::delayedRequestHoldsNeitherOthersNorShutdown()
{
    QVERIFY2(m_server.start(serverRoot(), {"--fault", kStartAdvisoryApi + "=delay:60000"}),
             qPrintable(m_server.errorString()));
    QNetworkReply* delayed = validRequest(kStartAdvisoryApi);
    QSignalSpy delayedFinished(delayed, &QNetworkReply::finished);

    for (int i = 0; i < 3; ++i) {
        const HttpResult other = finish(validRequest(kBusinessTypeApi));
        QCOMPARE(other.envelope().value("code").toInt(-1), 0);
    }
    QCOMPARE(delayedFinished.count(), 0);

    QElapsedTimer clock;
    clock.start();
    m_server.stop();
    // Well under the five seconds after which the test wrapper would kill the server.
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
    QVERIFY(process.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(process.canReadLine(), 10000);
    const QString line = QString::fromUtf8(process.readLine());
    QVERIFY2(
        QRegularExpression(R"(^listening on http://127\.0\.0\.1:\d+\n$)").match(line).hasMatch(),
        qPrintable(line));
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
    QTest::addColumn<QByteArray>("categories"); // written to the file named by %CATEGORIES%

    const QString api = kStartAdvisoryApi;
    QTest::newRow("unknown option") << QStringList{"--verbose"} << QByteArray();
    QTest::newRow("option without value") << QStringList{"--fault"} << QByteArray();
    QTest::newRow("fault without kind") << QStringList{"--fault", api} << QByteArray();
    QTest::newRow("fault on unknown target")
        << QStringList{"--fault", "image/download=error:1"} << QByteArray();
    QTest::newRow("error code zero") << QStringList{"--fault", api + "=error:0"} << QByteArray();
    QTest::newRow("HTTP status 200") << QStringList{"--fault", api + "=http:200"} << QByteArray();
    QTest::newRow("negative delay") << QStringList{"--fault", api + "=delay:-5"} << QByteArray();
    QTest::newRow("unknown kind") << QStringList{"--fault", api + "=drop"} << QByteArray();
    QTest::newRow("categories file missing")
        << QStringList{"--categories", "%CATEGORIES%.missing"} << QByteArray("[]");
    QTest::newRow("categories not an array")
        << QStringList{"--categories", "%CATEGORIES%"} << QByteArray(R"({"a": 1})");
    QTest::newRow("category without name")
        << QStringList{"--categories", "%CATEGORIES%"}
        << QByteArray(R"([{"businessTypeCode": "1", "children": []}])");
}

void tst_AdvisoryServer::refusesBadArguments()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, categories);
    if (!categories.isEmpty())
        args.replaceInStrings("%CATEGORIES%", writeFile("categories.json", categories));

    QVERIFY(!m_server.start(serverRoot(), args));
    QVERIFY(m_server.baseUrl().isEmpty());
}

void tst_AdvisoryServer::unknownPathsAreNotFound_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");

    QTest::newRow("unknown page") << QByteArray("GET") << "/nothing";
    QTest::newRow("unknown API") << QByteArray("POST")
                                 << "/dsm.zorapp.service.center.VenderAdvisoryLyn.deleteAdvisory";
    QTest::newRow("API name with a suffix") << QByteArray("POST") << "/" + kStartAdvisoryApi + "x";
    QTest::newRow("below the records list") << QByteArray("GET") << "/advisory/records/1";
    QTest::newRow("upload read with GET") << QByteArray("GET") << "/image/upload";
}

void tst_AdvisoryServer::unknownPathsAreNotFound()
{
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QVERIFY2(m_server.start(serverRoot()), qPrintable(m_server.errorString()));

    QNetworkRequest request(url(path));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    const HttpResult result = finish(m_network->sendCustomRequest(request, method, "{}"));
    QVERIFY(result.finished);
    QCOMPARE(result.status, 404);
    QCOMPARE(storedCount(), 0);
}

QTEST_GUILESS_MAIN(tst_AdvisoryServer)
#include "tst_advisoryserver.moc"
