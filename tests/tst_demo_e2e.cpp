// The demo host's scripted feedback, end to end: a real window on a private X server, the
// module loaded by feedback-host, advisory-server on a free loopback port, and the record as
// the service stored it.
#include "AdvisoryServerProcess.h"
#include "TestMessageHandler.h"

#include <QFileInfo>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QProcess>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCodec>

#include <cstdlib>

namespace {

constexpr int kHostTimeoutMs = 200000;
const QString kBusinessTypeApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");

// The merchant the host is told to be: none of these is a default of the host's.
const QString kVenderId = QStringLiteral("918273");
const QString kPin = QStringLiteral("e2e-pin-4711");
const QString kAppVersion = QStringLiteral("9.9.9-e2e");
const QString kClientIp = QStringLiteral("10.20.30.40");
const QString kDeviceId = QStringLiteral("0b9a7c58-7e3f-4f38-9d3a-e2e000000001");

struct HttpResult
{
    int status = 0;
    QByteArray body;
    QString error;
};

HttpResult Fetch(const QUrl& url, const QByteArray& postBody = QByteArray(), bool post = false)
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QScopedPointer<QNetworkReply> reply(post ? network.post(request, postBody)
                                             : network.get(request));
    QSignalSpy finished(reply.data(), &QNetworkReply::finished);
    HttpResult result;
    if (!reply->isFinished() && !finished.wait(10000)) {
        result.error = QStringLiteral("no reply from %1").arg(url.toString());
        reply->abort();
        return result;
    }
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError)
        result.error = reply->errorString();
    return result;
}

// Codes travel as numbers or as texts, depending on who wrote them.
QString Text(const QJsonValue& value)
{
    return value.isDouble() ? QString::number(value.toDouble(), 'f', 0) : value.toString();
}

// Mean difference per colour channel, sampled on a grid; JPEG round trips stay far below 10.
double MeanDifference(const QImage& a, const QImage& b)
{
    double sum = 0;
    int samples = 0;
    for (int y = a.height() / 60; y < a.height(); y += a.height() / 30) {
        for (int x = a.width() / 80; x < a.width(); x += a.width() / 40) {
            const QColor p = a.pixelColor(x, y);
            const QColor q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) +
                   std::abs(p.blue() - q.blue());
            samples += 3;
        }
    }
    return samples ? sum / samples : 0;
}

} // namespace

class TestDemoEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scriptedFeedbackIsStored_data();
    void scriptedFeedbackIsStored();
    void badOptionsStartNothing_data();
    void badOptionsStartNothing();

private:
    // Runs feedback-host to its end; false when it had to be killed. output gets its stdout,
    // report both channels.
    bool RunHost(const QStringList& arguments, QProcess& host, QString& output, QString& report);

    QScopedPointer<QTemporaryDir> m_dir;
    AdvisoryServerProcess m_server;
};

void TestDemoEndToEnd::initTestCase()
{
    TestMessageHandler::install();
    // Arguments reach the host in the locale's encoding; the descriptions are not ASCII.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QVERIFY2(QFileInfo(QStringLiteral(KIV_BIN_DIR "/feedback-host")).isExecutable(),
             "feedback-host is not built");
}

void TestDemoEndToEnd::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
}

void TestDemoEndToEnd::cleanup()
{
    m_server.stop();
    m_dir.reset();
}

void TestDemoEndToEnd::scriptedFeedbackIsStored_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("browserVersion");
    QTest::addColumn<QString>("storedDescription");
    // Appended to the service's address in --gateway.
    QTest::addColumn<QString>("gatewaySuffix");

    QTest::newRow("ascii description")
        << QStringLiteral("Receipts stop printing after the first page.")
        << QStringLiteral("13800138000") << QStringLiteral("QtWebEngine/5.15.13")
        << QStringLiteral("Receipts stop printing after the first page.") << QString();
    // Typed characters outside ASCII, one beyond the basic plane, and blanks the dialog trims;
    // the derived addresses must not double the gateway's trailing slash.
    QTest::newRow("non-ascii description with blanks, gateway with a trailing slash")
        << QStringLiteral("  Bondrucker stoppt \u2013 \u6253\u5370\u673a\u5361\u7eb8 \U0001F642  ")
        << QStringLiteral("15912345678") << QStringLiteral("WebView 119.0 (Linux x86_64)")
        << QStringLiteral("Bondrucker stoppt \u2013 \u6253\u5370\u673a\u5361\u7eb8 \U0001F642")
        << QStringLiteral("/");
}

void TestDemoEndToEnd::scriptedFeedbackIsStored()
{
    QFETCH(QString, description);
    QFETCH(QString, phone);
    QFETCH(QString, browserVersion);
    QFETCH(QString, storedDescription);
    QFETCH(QString, gatewaySuffix);
    QVERIFY2(m_server.start(m_dir->filePath(QStringLiteral("server"))),
             qPrintable(m_server.errorString()));

    // The script takes the first category and its first child, as the service offers them.
    const HttpResult categoryReply =
        Fetch(QUrl(m_server.baseUrl() + QLatin1Char('/') + kBusinessTypeApi),
              QJsonDocument(QJsonObject{{QStringLiteral("venderId"), kVenderId}}).toJson(), true);
    QVERIFY2(categoryReply.error.isEmpty(), qPrintable(categoryReply.error));
    const QJsonArray categories = QJsonDocument::fromJson(categoryReply.body)
                                      .object()
                                      .value(QStringLiteral("data"))
                                      .toArray();
    QVERIFY2(!categories.isEmpty(), categoryReply.body.constData());
    const QJsonObject first = categories.first().toObject();
    const QJsonArray children = first.value(QStringLiteral("children")).toArray();
    QVERIFY2(!children.isEmpty(), "the first category has no sub-category");
    const QJsonObject second = children.first().toObject();

    const QString stateDir = m_dir->filePath(QStringLiteral("host"));
    const QString screenshot = m_dir->filePath(QStringLiteral("shots/dialog.png"));
    QStringList arguments;
    arguments << QStringLiteral("--script") << QStringLiteral("--gateway")
              << m_server.baseUrl() + gatewaySuffix << QStringLiteral("--state-dir") << stateDir
              << QStringLiteral("--screenshot") << screenshot << QStringLiteral("--description")
              << description << QStringLiteral("--phone") << phone
              << QStringLiteral("--browser-version") << browserVersion
              << QStringLiteral("--vender-id") << kVenderId << QStringLiteral("--pin") << kPin
              << QStringLiteral("--app-version") << kAppVersion << QStringLiteral("--client-ip")
              << kClientIp << QStringLiteral("--device-id") << kDeviceId;
    QProcess host;
    QString output;
    QString report;
    QVERIFY2(RunHost(arguments, host, output, report),
             qPrintable(QStringLiteral("feedback-host hung:\n") + report));
    QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0, qPrintable(report));

    const auto printed = [&output](const QString& label) {
        const QRegularExpression line(QStringLiteral("^%1: (.+)$").arg(label),
                                      QRegularExpression::MultilineOption);
        return line.match(output).captured(1).trimmed();
    };
    const QString feedbackId = printed(QStringLiteral("feedback id"));
    QVERIFY2(!feedbackId.isEmpty(), qPrintable(output));
    QCOMPARE(printed(QStringLiteral("history page")),
             m_server.baseUrl() + QStringLiteral("/app/advisory/AdvisoryList"));
    QCOMPARE(printed(QStringLiteral("screenshot")), QDir::toNativeSeparators(screenshot));
    const QImage shot(screenshot, "PNG");
    QVERIFY2(!shot.isNull(), "no screenshot was saved");
    QVERIFY(shot.width() >= 300 && shot.height() >= 300);

    bool ok = false;
    const QJsonArray records = m_server.records(&ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 1);
    const QJsonObject entry = records.first().toObject();
    QCOMPARE(Text(entry.value(QStringLiteral("id"))), feedbackId);
    const QJsonObject record = entry.value(QStringLiteral("record")).toObject();

    QCOMPARE(record.value(QStringLiteral("questionDesc")).toString(), storedDescription);
    QCOMPARE(record.value(QStringLiteral("telphone")).toString(), phone);
    QCOMPARE(record.value(QStringLiteral("browserVersion")).toString(), browserVersion);
    QCOMPARE(Text(record.value(QStringLiteral("startBusinessCode1"))),
             Text(first.value(QStringLiteral("businessTypeCode"))));
    QCOMPARE(record.value(QStringLiteral("startBusinessName1")).toString(),
             first.value(QStringLiteral("businessTypeName")).toString());
    QCOMPARE(Text(record.value(QStringLiteral("startBusinessCode2"))),
             Text(second.value(QStringLiteral("businessTypeCode"))));
    QCOMPARE(record.value(QStringLiteral("startBusinessName2")).toString(),
             second.value(QStringLiteral("businessTypeName")).toString());
    // The host's session facts, given on its command line, reach the record.
    QCOMPARE(Text(record.value(QStringLiteral("venderId"))), kVenderId);
    QCOMPARE(record.value(QStringLiteral("version")).toString(), kAppVersion);
    QCOMPARE(record.value(QStringLiteral("ip")).toString(), kClientIp);
    QCOMPARE(record.value(QStringLiteral("deviceId")).toString(), kDeviceId);
    const QString userId = record.value(QStringLiteral("userId")).toString();
    QVERIFY2(!userId.isEmpty() && userId != kPin, "the pin must travel encrypted");

    const QJsonArray files = record.value(QStringLiteral("files")).toArray();
    QCOMPARE(files.size(), 1);
    const QJsonObject file = files.first().toObject();
    const QString fileName = file.value(QStringLiteral("fileName")).toString();
    QVERIFY2(
        QRegularExpression(QStringLiteral("^UploadImage[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}"
                                          "\\.jpg$"))
            .match(fileName)
            .hasMatch(),
        qPrintable(fileName));
    const HttpResult image = Fetch(QUrl(file.value(QStringLiteral("url")).toString()));
    QVERIFY2(image.error.isEmpty(), qPrintable(image.error));
    QCOMPARE(image.status, 200);
    QVERIFY2(image.body.startsWith("\xFF\xD8\xFF"), "the stored image is no JPEG");
    // What was stored is the photo the script attached, not a thumbnail of it.
    const QImage stored = QImage::fromData(image.body, "JPEG");
    const QImage photo(printed(QStringLiteral("photo")), "JPEG");
    QVERIFY(!photo.isNull());
    QCOMPARE(stored.size(), photo.size());
    QVERIFY2(MeanDifference(stored, photo) < 8.0,
             qPrintable(QString::number(MeanDifference(stored, photo))));
}

void TestDemoEndToEnd::badOptionsStartNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("vender id not a number")
        << QStringList{QStringLiteral("--vender-id"), QStringLiteral("12ab")}
        << QStringLiteral("--vender-id");
    QTest::newRow("gateway without a scheme")
        << QStringList{QStringLiteral("--gateway"), QStringLiteral("127.0.0.1:8730")}
        << QStringLiteral("--gateway");
    QTest::newRow("gateway of another scheme")
        << QStringList{QStringLiteral("--gateway"), QStringLiteral("ftp://127.0.0.1:8730")}
        << QStringLiteral("--gateway");
    QTest::newRow("unknown option")
        << QStringList{QStringLiteral("--frobnicate")} << QStringLiteral("frobnicate");
    QTest::newRow("stray argument")
        << QStringList{QStringLiteral("extra")} << QStringLiteral("extra");
}

void TestDemoEndToEnd::badOptionsStartNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    const QString stateDir = m_dir->filePath(QStringLiteral("host"));
    QProcess host;
    QString output;
    QString report;
    QVERIFY2(
        RunHost(QStringList{QStringLiteral("--script"), QStringLiteral("--state-dir"), stateDir} +
                    arguments,
                host, output, report),
        qPrintable(report));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 2);
    QVERIFY2(report.contains(complaint), qPrintable(report));
    // Refused before it set anything up: no state, no service.
    QVERIFY(!QFileInfo::exists(stateDir));
}

bool TestDemoEndToEnd::RunHost(const QStringList& arguments, QProcess& host, QString& output,
                               QString& report)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // Whatever Qt or the platform keep per user stays in the test's directory.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir->path());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        environment.insert(QString::fromLatin1(name),
                           m_dir->filePath(QStringLiteral("home/") + QString::fromLatin1(name)));
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(KIV_BIN_DIR "/feedback-host"), arguments);
    const bool finished = host.waitForStarted() && host.waitForFinished(kHostTimeoutMs);
    if (!finished)
        host.kill();
    output = QString::fromUtf8(host.readAllStandardOutput());
    report = output + QString::fromUtf8(host.readAllStandardError());
    if (!finished)
        report += host.errorString();
    return finished;
}

QTEST_GUILESS_MAIN(TestDemoEndToEnd)
#include "tst_demo_e2e.moc"
