#include "AdvisoryServerProcess.h"
#include "TestMessageHandler.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHttpMultiPart>
#include <QJSEngine>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSet>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace {

const QString kBusinessTypeApi("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QString kStartAdvisoryApi("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");
const QString kRecordPage = QStringLiteral("app/advisory/AdvisoryList");

const QByteArray kPngHeader("\x89PNG\r\n\x1A\n", 8);
constexpr int kMiB = 1024 * 1024;

struct HttpResult
{
    explicit HttpResult(QNetworkReply* reply)
    {
        if (!reply->isFinished())
            QSignalSpy(reply, &QNetworkReply::finished).wait(20000);
        status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
        policy = reply->rawHeader("Content-Security-Policy");
        body = reply->readAll();
        reply->deleteLater();
    }
    QJsonObject envelope() const { return QJsonDocument::fromJson(body).object(); }
    int code() const { return envelope().value("code").toInt(-12345); }

    int status = 0;
    QByteArray contentType;
    QByteArray policy;
    QByteArray body;
};

// Sends bytes as they are over a connection of its own and returns all the server answers
// until it closes the connection. With waitAfterHead, the body follows only once the server
// has answered the head, as a client waiting for "100 Continue" does.
QByteArray exchange(quint16 port, const QByteArray& bytes, bool waitAfterHead = false)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(10000))
        return "not connected";
    QByteArray answer;
    const int headEnd = bytes.indexOf("\r\n\r\n") + 4;
    if (waitAfterHead) {
        socket.write(bytes.left(headEnd));
        if (!socket.waitForReadyRead(10000))
            return "no answer to the head";
        answer = socket.readAll();
    }
    socket.write(waitAfterHead ? bytes.mid(headEnd) : bytes);
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(20000))
        answer += socket.readAll();
    return answer + socket.readAll();
}

QByteArray rawPost(const QString& path, const QByteArray& headers, const QByteArray& body)
{
    return "POST /" + path.toLatin1() + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" + headers + "\r\n" +
           body;
}

// The peak resident memory of a process, in bytes.
qint64 peakMemory(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
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
    void refusesBadRequests_data();
    void refusesBadRequests();
    void imageUpload_data();
    void imageUpload();
    void recordPageEscapesValues_data();
    void recordPageEscapesValues();
    void recordPageShowsOneMerchant_data();
    void recordPageShowsOneMerchant();
    void recordPageFilesAreServedBesideIt_data();
    void recordPageFilesAreServedBesideIt();
    void recordPageScriptShowsLocalTime_data();
    void recordPageScriptShowsLocalTime();
    void delayedRequestHoldsNeitherOthersNorShutdown();
    void rawRequests_data();
    void rawRequests();
    void slowClientsHoldNoWorker();
    void oversizedBodyRefusedAtOnce_data();
    void oversizedBodyRefusedAtOnce();
    void busyWorkersAnswerAtOnce();
    void refusesBadArguments_data();
    void refusesBadArguments();

private:
    QNetworkReply* send(const QString& path, const QByteArray& body = {},
                        const QByteArray& requestId = {});
    HttpResult submit(const QJsonObject& record, const QByteArray& requestId = {});

    std::unique_ptr<QTemporaryDir> m_dir;
    QNetworkAccessManager m_network;
    AdvisoryServerProcess m_server;
};

// Each test has a server of its own, its database and images (in data/) in the test's directory.
void tst_AdvisoryServer::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QVERIFY2(m_server.start(m_dir->path()), qPrintable(m_server.errorString()));
}

void tst_AdvisoryServer::cleanup()
{
    m_server.stop();
    m_dir.reset();
}

// The path goes out as written, so an encoded name reaches the server unchanged. No body: a GET.
QNetworkReply* tst_AdvisoryServer::send(const QString& path, const QByteArray& body,
                                        const QByteArray& requestId)
{
    QNetworkRequest request(
        QUrl::fromEncoded((m_server.baseUrl() + '/' + path).toUtf8(), QUrl::StrictMode));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    request.setRawHeader("X-Request-Id", requestId);
    return body.isNull() ? m_network.get(request) : m_network.post(request, body);
}

HttpResult tst_AdvisoryServer::submit(const QJsonObject& record, const QByteArray& requestId)
{
    const QByteArray body = QJsonDocument(QJsonObject{{"param", record}}).toJson();
    return HttpResult(send(kStartAdvisoryApi, body, requestId));
}

// The dialog offers two levels and reads each code as a decimal integer.
void tst_AdvisoryServer::builtInCategoriesHaveDistinctNumericCodes()
{
    const HttpResult result(send(kBusinessTypeApi, R"({"venderId": -42})"));
    const QJsonArray tree = result.envelope()["data"].toArray();
    QVERIFY(tree.size() >= 3);
    QList<qlonglong> codes;
    for (const QJsonValue& top : tree) {
        QVERIFY(!top["children"].toArray().isEmpty());
        for (const QJsonValue& entry : top["children"].toArray() + top) {
            bool numeric = false;
            codes << entry["businessTypeCode"].toString().toLongLong(&numeric);
            QVERIFY(numeric && !entry["businessTypeName"].toString().isEmpty());
        }
    }
    QCOMPARE(QSet<qlonglong>(codes.begin(), codes.end()).size(), codes.size());
}

void tst_AdvisoryServer::storesRecordsOnceNewestFirst()
{
    const QJsonObject first{{"questionDesc", "older feedback"}, {"startBusinessCode1", 1907}};
    const QJsonObject second{{"questionDesc", "newer feedback: 中文 ✓"}, {"telphone", "138"}};
    const QString firstId = submit(first, "req-1").envelope()["data"].toString();
    const QString secondId = submit(second).envelope()["data"].toString();
    QVERIFY(!firstId.isEmpty() && firstId != secondId);
    // A retry with the same request id is answered with the first attempt's feedback id.
    QCOMPARE(submit(first, "req-1").envelope()["data"].toString(), firstId);

    // Kept in the write-ahead log, so a crash of the service loses no stored record.
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("advisory.db-wal"))));
    m_server.kill();
    QVERIFY(m_server.start(m_dir->path()));
    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), 2);
    QCOMPARE(records[0]["id"].toString(), secondId);
    QCOMPARE(records[0]["record"].toObject(), second);
    QCOMPARE(records[1]["record"].toObject(), first);

    const HttpResult page(send(kRecordPage));
    QCOMPARE(page.contentType, QByteArray("text/html; charset=utf-8"));
    const QString html = QString::fromUtf8(page.body);
    const int newer = html.indexOf(QStringLiteral("newer feedback: 中文 ✓"));
    QVERIFY(newer >= 0 && html.indexOf(QStringLiteral("older feedback")) > newer);
    // Times are in UTC, machine-readable for the page's script and readable without it.
    const QString time = records[0]["time"].toString();
    const QString shown =
        QString("<time datetime=\"%1\">%2 %3 UTC</time>").arg(time, time.left(10), time.mid(11, 8));
    QVERIFY2(html.contains(shown), qPrintable(html));
}

void tst_AdvisoryServer::refusesBadRequests_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("body"); // none: a GET
    QTest::addColumn<int>("expected");    // the envelope's code, for a GET the HTTP status

    const auto param = [](const QByteArray& value) { return "{\"param\": " + value + '}'; };
    const QString submit = kStartAdvisoryApi;
    const QByteArray get;
    QTest::newRow("invalid UTF-8") << submit << param("{\"questionDesc\": \"\xFF\xFE\"}") << 4000;
    QTest::newRow("param as text") << submit << param(R"("{\"telphone\": \"1\"}")") << 4001;
    QTest::newRow("file entry not an object") << submit << param(R"({"files": ["a.png"]})") << 4002;
    QTest::newRow("telephone a number") << submit << param(R"({"telphone": 13800138000})") << 4002;
    QTest::newRow("over 1 MiB") << submit << param('"' + QByteArray(kMiB, 'x') + '"') << 4013;
    QTest::newRow("vender id missing") << kBusinessTypeApi << QByteArray("{}") << 4002;
    // The database lies one level above the image directory.
    QTest::newRow("image from the parent directory") << "images/..%2Fadvisory.db" << get << 404;
    QTest::newRow("image by absolute path") << "images/%2Fetc%2Fhostname" << get << 404;
    QTest::newRow("unknown image") << "images/0123456789abcdef0123456789abcdef.png" << get << 404;
}

void tst_AdvisoryServer::refusesBadRequests()
{
    QFETCH(QString, path);
    QFETCH(QByteArray, body);
    QFETCH(int, expected);
    QVERIFY(QFile::exists(m_dir->filePath(QStringLiteral("advisory.db"))));

    const HttpResult result(send(path, body));
    QCOMPARE(body.isNull() ? result.status : result.code(), expected);
    QVERIFY(body.isNull() || !result.envelope().value("msg").toString().isEmpty());
    // Nothing was stored, and the server goes on serving after the refusal.
    QCOMPARE(submit({{"questionDesc", "ok"}}).code(), 0);
    QCOMPARE(m_server.records().size(), 1);
}

void tst_AdvisoryServer::imageUpload_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedCode");

    const QByteArray png = kPngHeader + QByteArray("\x00\x00\x00\x0DIHDR", 8) + "pixels";
    const QByteArray jpeg = QByteArray("\xFF\xD8\xFF\xE0\x00\x10JFIF", 10) + "pixels";
    const QByteArray big = kPngHeader + QByteArray(10 * kMiB - kPngHeader.size(), 'p');
    QTest::newRow("jpeg") << "a.jpg" << jpeg << 0;
    QTest::newRow("png named ../../escaped.jpg") << "../../escaped.jpg" << png << 0;
    QTest::newRow("exactly 10 MiB") << "a.png" << big << 0;
    QTest::newRow("over 10 MiB") << "a.png" << big + 'p' << 4101;
    QTest::newRow("cut jpeg signature") << "a.jpg" << jpeg.left(2) << 4102;
}

void tst_AdvisoryServer::imageUpload()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(int, expectedCode);

    auto* multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(fileName));
    part.setBody(content);
    multiPart->append(part);
    QNetworkReply* reply =
        m_network.post(QNetworkRequest(QUrl(m_server.baseUrl() + "/image/upload")), multiPart);
    multiPart->setParent(reply);
    const HttpResult result(reply);
    QCOMPARE(result.code(), expectedCode);
    const QStringList stored = QDir(m_dir->filePath("data")).entryList(QDir::Files);
    QCOMPARE(stored.size(), expectedCode == 0 ? 1 : 0);
    if (expectedCode != 0)
        return;
    // Stored under a name of the server's own, served with the type of its content: the
    // client's name is never used.
    const QString url = result.envelope()["data"].toObject()["url"].toString();
    QCOMPARE(url, m_server.baseUrl() + "/images/" + stored.constFirst());
    const HttpResult served(m_network.get(QNetworkRequest(QUrl(url))));
    QCOMPARE(served.contentType, content.startsWith(kPngHeader) ? "image/png" : "image/jpeg");
    QVERIFY(served.body == content);
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
    // File names are the client's cache names, shown nowhere: a thumbnail is named by its place.
    QTest::newRow("file name, even one breaking out of an attribute")
        << file("http://127.0.0.1:9/images/a.png", "UploadImage\"><img src=x onerror=alert(1)>")
        << "<img src=\"http://127.0.0.1:9/images/a.png\" alt=\"Image 1\">"
        << QStringLiteral("UploadImage");
    QTest::newRow("script address for an image")
        << file("javascript:alert(1)", "a.png") << "Image 1 (not a web address)"
        << QStringLiteral("javascript:");
    QTest::newRow("web address becomes a thumbnail link")
        << file("http://127.0.0.1:9/i.png?a=1&b=2", "shot.png")
        << "<a href=\"http://127.0.0.1:9/i.png?a=1&amp;b=2\"" << QStringLiteral("b=2\"><img");
}

void tst_AdvisoryServer::recordPageEscapesValues()
{
    QFETCH(QJsonObject, record);
    QFETCH(QString, expected);
    QFETCH(QString, forbidden);

    QCOMPARE(submit(record).code(), 0);
    const HttpResult page(send(kRecordPage));
    const QString html = QString::fromUtf8(page.body);
    // Should markup slip through, the browser still runs no inline script and loads images
    // from this service only.
    QMap<QByteArray, QByteArray> policy;
    for (const QByteArray& directive : page.policy.split(';')) {
        const QByteArray trimmed = directive.trimmed();
        policy.insert(trimmed.left(trimmed.indexOf(' ')), trimmed.mid(trimmed.indexOf(' ') + 1));
    }
    QCOMPARE(policy.value("default-src"), QByteArray("'none'"));
    QCOMPARE(policy.value("img-src"), QByteArray("'self'"));
    QCOMPARE(policy.value("script-src"), QByteArray("'self'"));
    QCOMPARE(policy.value("style-src"), QByteArray("'self'"));
    QVERIFY2(html.contains(expected), qPrintable(html));
    QVERIFY2(!html.contains(forbidden), qPrintable(forbidden));
}

void tst_AdvisoryServer::recordPageShowsOneMerchant_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("shown");

    const QStringList all{"first of 1001", "of merchant -7", "second of 1001", "of nobody"};
    QTest::newRow("every merchant") << QString() << 200 << all;
    QTest::newRow("id as text or number")
        << "?venderId=1001" << 200 << QStringList{"first of 1001", "second of 1001"};
    QTest::newRow("negative id") << "?venderId=-7" << 200 << QStringList{"of merchant -7"};
    QTest::newRow("leading zeros")
        << "?venderId=001001" << 200 << QStringList{"first of 1001", "second of 1001"};
    QTest::newRow("merchant without feedback") << "?venderId=5" << 200 << QStringList();
    QTest::newRow("not a number") << "?venderId=1001x" << 400 << QStringList();
    QTest::newRow("empty id") << "?venderId=" << 400 << QStringList();
    QTest::newRow("beyond 64 bits") << "?venderId=99999999999999999999" << 400 << QStringList();
}

void tst_AdvisoryServer::recordPageShowsOneMerchant()
{
    QFETCH(QString, query);
    QFETCH(int, status);
    QFETCH(QStringList, shown);

    for (const QJsonObject& record :
         {QJsonObject{{"venderId", "1001"}, {"questionDesc", "first of 1001"}},
          QJsonObject{{"venderId", "-7"}, {"questionDesc", "of merchant -7"}},
          QJsonObject{{"venderId", 1001}, {"questionDesc", "second of 1001"}},
          QJsonObject{{"questionDesc", "of nobody"}}})
        QCOMPARE(submit(record).code(), 0);

    const HttpResult page(send(kRecordPage + query));
    QCOMPARE(page.status, status);
    const QString html = QString::fromUtf8(page.body);
    for (const char* description :
         {"first of 1001", "of merchant -7", "second of 1001", "of nobody"})
        QVERIFY2(html.contains(description) == shown.contains(description), qPrintable(html));
    if (status == 200 && shown.isEmpty())
        QVERIFY2(html.contains("No feedback from merchant 5 yet."), qPrintable(html));
}

// The page's style sheet and script come from its own origin, under the names it gives.
void tst_AdvisoryServer::recordPageFilesAreServedBesideIt_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QByteArray>("contentType");

    QTest::newRow("style sheet") << "href=\"page.css\"" << QByteArray("text/css; charset=utf-8");
    QTest::newRow("script") << "src=\"page.js\"" << QByteArray("text/javascript; charset=utf-8");
}

void tst_AdvisoryServer::recordPageFilesAreServedBesideIt()
{
    QFETCH(QString, reference);
    QFETCH(QByteArray, contentType);

    const QString html = QString::fromUtf8(HttpResult(send(kRecordPage)).body);
    QVERIFY2(html.contains(reference), qPrintable(html));

    const QString name = reference.section('"', 1, 1);
    const QUrl url = QUrl(m_server.baseUrl() + '/' + kRecordPage).resolved(QUrl(name));
    const HttpResult file(m_network.get(QNetworkRequest(url)));
    QCOMPARE(file.status, 200);
    QCOMPARE(file.contentType, contentType);
    QVERIFY(!file.body.isEmpty());
}

// The page's own script, run with a stand-in for the browser's document in a chosen zone.
void tst_AdvisoryServer::recordPageScriptShowsLocalTime_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("datetime");
    QTest::addColumn<QString>("shown");

    QTest::newRow("winter time, the day before")
        << QByteArray("America/New_York") << "2026-12-07T03:15:05.123Z"
        << "2026-12-06 22:15:05 (UTC-05:00)";
    QTest::newRow("summer time") << QByteArray("America/New_York") << "2026-07-01T12:30:00.000Z"
                                 << "2026-07-01 08:30:00 (UTC-04:00)";
    QTest::newRow("half-hour zone, the next year")
        << QByteArray("Asia/Kolkata") << "2026-12-31T20:00:59.999Z"
        << "2027-01-01 01:30:59 (UTC+05:30)";
    QTest::newRow("UTC") << QByteArray("UTC") << "2026-03-09T07:05:00.000Z"
                         << "2026-03-09 07:05:00 (UTC+00:00)";
    QTest::newRow("not a time") << QByteArray("Asia/Kolkata") << "yesterday"
                                << "as served";
}

void tst_AdvisoryServer::recordPageScriptShowsLocalTime()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, datetime);
    QFETCH(QString, shown);

    const QUrl url(m_server.baseUrl() + "/app/advisory/page.js");
    const HttpResult script(m_network.get(QNetworkRequest(url)));
    QCOMPARE(script.status, 200);

    const QByteArray savedZone = qgetenv("TZ");
    qputenv("TZ", zone);
    QString text;
    {
        QJSEngine engine;
        engine.globalObject().setProperty("stamp", datetime);
        engine.evaluate(R"(
            var time = { textContent: 'as served',
                         getAttribute: function (name) { return name === 'datetime' ? stamp : null; } };
            var document = { querySelectorAll: function (selector) {
                return selector === 'time[datetime]' ? [time] : []; } };)");
        const QJSValue result = engine.evaluate(QString::fromUtf8(script.body), url.toString());
        text =
            result.isError() ? result.toString() : engine.evaluate("time.textContent").toString();
    }
    if (savedZone.isNull())
        qunsetenv("TZ");
    else
        qputenv("TZ", savedZone);
    QCOMPARE(text, shown);
}

// A request held by a fault delays neither other connections nor the server's shutdown.
void tst_AdvisoryServer::delayedRequestHoldsNeitherOthersNorShutdown()
{
    QVERIFY(m_server.start(m_dir->path(), {"--fault", kStartAdvisoryApi + "=delay:60000"}));
    QNetworkReply* delayed = send(kStartAdvisoryApi, R"({"param": {}})");
    QSignalSpy delayedFinished(delayed, &QNetworkReply::finished);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(HttpResult(send(kBusinessTypeApi, R"({"venderId": "10086"})")).code(), 0);
    QCOMPARE(delayedFinished.count(), 0);

    QElapsedTimer clock;
    clock.start();
    m_server.stop();
    // Well before the wrapper's kill after five seconds: no idle kept-alive connection holds it.
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
    QTRY_COMPARE_WITH_TIMEOUT(delayedFinished.count(), 1, 10000);
    QVERIFY(HttpResult(delayed).status != 200);
}

void tst_AdvisoryServer::rawRequests_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("answer"); // how the answer starts
    QTest::addColumn<QString>("stored");    // the stored record's questionDesc; empty: none

    const QString submit = kStartAdvisoryApi;
    const QByteArray json = R"({"param": {"questionDesc": "chunked"}})";
    QTest::newRow("chunked body with extension and trailer")
        << rawPost(submit, "Transfer-Encoding: chunked\r\n",
                   "5;ext=1\r\n" + json.left(5) + "\r\n" + QByteArray::number(json.size() - 5, 16) +
                       "\r\n" + json.mid(5) + "\r\n0\r\nX-Trailer: 1\r\n\r\n")
        << QByteArray("HTTP/1.1 200 OK\r\n") << "chunked";
    QTest::newRow("client waiting for 100 Continue")
        << rawPost(submit,
                   "Expect: 100-continue\r\nContent-Length: " + QByteArray::number(json.size()) +
                       "\r\n",
                   json)
        << QByteArray("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n") << "chunked";
    QTest::newRow("chunk size not hex")
        << rawPost(submit, "Transfer-Encoding: chunked\r\n", "zz\r\n" + json + "\r\n0\r\n\r\n")
        << QByteArray("HTTP/1.1 400 ") << "";
    QTest::newRow("two different lengths")
        << rawPost(submit, "Content-Length: 5\r\nContent-Length: 6\r\n", json)
        << QByteArray("HTTP/1.1 400 ") << "";
    QTest::newRow("unknown transfer coding")
        << rawPost(submit, "Transfer-Encoding: gzip, chunked\r\n", "0\r\n\r\n")
        << QByteArray("HTTP/1.1 501 ") << "";
    QTest::newRow("head over 64 KiB")
        << rawPost(submit, "X-Padding: " + QByteArray(64 * 1024, 'p') + "\r\n", json)
        << QByteArray("HTTP/1.1 431 ") << "";
}

void tst_AdvisoryServer::rawRequests()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, answer);
    QFETCH(QString, stored);

    const QByteArray received =
        exchange(m_server.port(), request, request.contains("Expect: 100-continue"));
    QVERIFY2(received.startsWith(answer), received.left(200).constData());
    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), stored.isEmpty() ? 0 : 1);
    if (!stored.isEmpty())
        QCOMPARE(records[0]["record"]["questionDesc"].toString(), stored);
}

// Clients that send their request a line at a time, each line well within any per-read
// timeout, hold no worker: others are served meanwhile, and the slow ones are dropped once
// their time for the whole request is over.
void tst_AdvisoryServer::slowClientsHoldNoWorker()
{
    QVERIFY(m_server.start(m_dir->path(), {"--request-timeout", "3000"}));
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < 20; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QHostAddress::LocalHost, m_server.port());
        QVERIFY(slow.back()->waitForConnected(10000));
        slow.back()->write("POST /" + kStartAdvisoryApi.toLatin1() + " HTTP/1.1\r\n");
    }
    QTimer trickle;
    int line = 0;
    connect(&trickle, &QTimer::timeout, this, [&]() {
        ++line;
        for (const auto& socket : slow) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write("X-Line-" + QByteArray::number(line) + ": 1\r\n");
        }
    });
    trickle.start(200);

    QCOMPARE(HttpResult(send(kBusinessTypeApi, R"({"venderId": "10086"})")).code(), 0);
    const auto answered = [&slow]() {
        int count = 0;
        for (const auto& socket : slow)
            count += socket->peek(64).startsWith("HTTP/1.1 408 ") ? 1 : 0;
        return count;
    };
    QTRY_COMPARE_WITH_TIMEOUT(answered(), 20, 20000);
    QVERIFY(line > 0);
    QCOMPARE(m_server.records().size(), 0);
}

void tst_AdvisoryServer::oversizedBodyRefusedAtOnce_data()
{
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QByteArray>("piece"); // sent again and again, up to 200 MiB

    const QByteArray chunk = "10000\r\n" + QByteArray(0x10000, 'x') + "\r\n";
    QTest::newRow("chunks of 64 KiB") << QByteArray("Transfer-Encoding: chunked\r\n") << chunk;
    QTest::newRow("one chunk of 200 MiB")
        << QByteArray("Transfer-Encoding: chunked\r\n") << "C800000\r\n" + QByteArray(0x10000, 'x');
    QTest::newRow("Content-Length of 200 MiB")
        << "Content-Length: " + QByteArray::number(200 * kMiB) + "\r\n"
        << QByteArray(0x10000, 'x');
}

void tst_AdvisoryServer::oversizedBodyRefusedAtOnce()
{
    QFETCH(QByteArray, headers);
    QFETCH(QByteArray, piece);

    const qint64 peakBefore = peakMemory(m_server.processId());
    QVERIFY(peakBefore > 0);
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_server.port());
    QVERIFY(socket.waitForConnected(10000));
    socket.write(rawPost(kStartAdvisoryApi, headers, {}));
    qint64 sent = 0;
    // Sent as fast as the server takes it, until it answers.
    while (socket.bytesAvailable() == 0 && sent < 200 * kMiB &&
           socket.state() == QAbstractSocket::ConnectedState) {
        if (socket.bytesToWrite() < kMiB) {
            socket.write(piece);
            sent += piece.size();
        }
        socket.waitForBytesWritten(100);
        socket.waitForReadyRead(0);
    }
    socket.waitForReadyRead(10000);
    QVERIFY2(socket.peek(64).startsWith("HTTP/1.1 413 "), socket.peek(64).constData());
    // Refused just after the limit of about 10 MiB, allowing for what the socket buffers.
    QVERIFY2(sent < 40 * kMiB, qPrintable(QString::number(sent)));
    const qint64 growth = peakMemory(m_server.processId()) - peakBefore;
    QVERIFY2(growth < 40 * kMiB, qPrintable(QString::number(growth)));
    QCOMPARE(m_server.records().size(), 0);
}

// With every worker held by a delayed request, a new request is told at once that the
// service is busy instead of waiting unseen in a queue.
void tst_AdvisoryServer::busyWorkersAnswerAtOnce()
{
    QVERIFY(m_server.start(m_dir->path(),
                           {"--workers", "2", "--fault", kStartAdvisoryApi + "=delay:60000"}));
    QNetworkReply* first = send(kStartAdvisoryApi, R"({"param": {}})");
    QNetworkReply* second = send(kStartAdvisoryApi, R"({"param": {}})");
    // Both sent in full before any other request starts, so that no other request takes
    // the workers they are meant to hold.
    int sentInFull = 0;
    for (QNetworkReply* reply : {first, second}) {
        connect(reply, &QNetworkReply::uploadProgress, this,
                [&sentInFull](qint64 sent, qint64 total) { sentInFull += sent == total ? 1 : 0; });
    }
    QTRY_COMPARE_WITH_TIMEOUT(sentInFull, 2, 20000);
    // Until both delayed requests have reached a worker, the records may still be served.
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    while (status != 503 && clock.elapsed() < 20000)
        status = HttpResult(send(QStringLiteral("advisory/records"))).status;
    QCOMPARE(status, 503);
    QVERIFY(!first->isFinished() && !second->isFinished());
    m_server.stop();
    QTRY_VERIFY_WITH_TIMEOUT(first->isFinished() && second->isFinished(), 10000);
    first->deleteLater();
    second->deleteLater();
}

void tst_AdvisoryServer::refusesBadArguments_data()
{
    QTest::addColumn<QStringList>("args");

    QTest::newRow("unknown option") << QStringList{"--verbose"};
    QTest::newRow("option without value") << QStringList{"--fault"};
    QTest::newRow("fault on unknown target") << QStringList{"--fault", "image/download=error:1"};
    QTest::newRow("error code zero") << QStringList{"--fault", kStartAdvisoryApi + "=error:0"};
}

void tst_AdvisoryServer::refusesBadArguments()
{
    QFETCH(QStringList, args);
    QVERIFY(!m_server.start(m_dir->path(), args));
}

QTEST_GUILESS_MAIN(tst_AdvisoryServer)
#include "tst_advisoryserver.moc"
