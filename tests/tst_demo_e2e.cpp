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

// The body of a loopback request; null when it failed.
QByteArray Fetch(const QUrl& url, const QByteArray& postBody = QByteArray())
{
    QNetworkAccessManager network;
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    QScopedPointer<QNetworkReply> reply(postBody.isNull() ? network.get(request)
                                                          : network.post(request, postBody));
    QSignalSpy finished(reply.data(), &QNetworkReply::finished);
    if (!reply->isFinished() && !finished.wait(10000))
        return QByteArray();
    return reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
}

// Codes travel as numbers or as texts, depending on who wrote them.
QString Text(const QJsonValue& value)
{
    return value.isDouble() ? QString::number(value.toDouble(), 'f', 0) : value.toString();
}

} // namespace

class TestDemoEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void scriptedFeedbackIsStored();
    void badOptionsStartNothing_data();
    void badOptionsStartNothing();

private:
    // Runs feedback-host to its end; false when it had to be killed. report gets what it
    // printed on both channels.
    bool RunHost(const QStringList& arguments, QProcess& host, QString& report);

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

void TestDemoEndToEnd::scriptedFeedbackIsStored()
{
    // Typed characters outside ASCII, one beyond the basic plane, and blanks the dialog trims.
    const QString typed =
        QStringLiteral("  Bondrucker stoppt \u2013 \u6253\u5370\u673a\u5361\u7eb8 \U0001F642  ");
    const QString phone = QStringLiteral("15912345678");
    const QString browserVersion = QStringLiteral("WebView 119.0 (Linux x86_64)");
    QVERIFY2(m_server.start(m_dir->filePath(QStringLiteral("server"))),
             qPrintable(m_server.errorString()));

    // The script takes the first category and its first child, as the service offers them.
    const QByteArray categoryReply =
        Fetch(QUrl(m_server.baseUrl() + QLatin1Char('/') + kBusinessTypeApi),
              QJsonDocument(QJsonObject{{QStringLiteral("venderId"), kVenderId}}).toJson());
    const QJsonValue first = QJsonDocument::fromJson(categoryReply)[QLatin1String("data")][0];
    const QJsonValue second = first[QLatin1String("children")][0];
    QVERIFY2(second.isObject(), categoryReply.constData());

    const QString screenshot = m_dir->filePath(QStringLiteral("shots/dialog.png"));
    QStringList arguments;
    // The addresses derived from the gateway's must not double its trailing slash.
    arguments << "--script"
              << "--gateway" << m_server.baseUrl() + QLatin1Char('/') << "--state-dir"
              << m_dir->filePath(QStringLiteral("host")) << "--screenshot" << screenshot
              << "--description" << typed << "--phone" << phone << "--browser-version"
              << browserVersion << "--vender-id" << kVenderId << "--pin" << kPin << "--app-version"
              << kAppVersion << "--client-ip" << kClientIp << "--device-id" << kDeviceId;
    QProcess host;
    QString report;
    QVERIFY2(RunHost(arguments, host, report), qPrintable("feedback-host hung:\n" + report));
    QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0, qPrintable(report));

    const auto printed = [&report](const QString& label) {
        const QRegularExpression line(QStringLiteral("^%1: (.+)$").arg(label),
                                      QRegularExpression::MultilineOption);
        return line.match(report).captured(1).trimmed();
    };
    const QString feedbackId = printed(QStringLiteral("feedback id"));
    QVERIFY2(!feedbackId.isEmpty(), qPrintable(report));
    QCOMPARE(printed(QStringLiteral("history page")),
             m_server.baseUrl() + QStringLiteral("/app/advisory/AdvisoryList"));
    QCOMPARE(printed(QStringLiteral("screenshot")), QDir::toNativeSeparators(screenshot));
    const QImage shot(screenshot, "PNG");
    QVERIFY2(shot.width() >= 300 && shot.height() >= 300, "no screenshot of the dialog");

    bool ok = false;
    const QJsonArray records = m_server.records(&ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 1);
    const QJsonObject entry = records.first().toObject();
    QCOMPARE(Text(entry.value(QStringLiteral("id"))), feedbackId);
    const QJsonObject record = entry.value(QStringLiteral("record")).toObject();

    // What the user typed, the category as the service offers it, and the host's session
    // facts given on its command line.
    const QList<QPair<const char*, QString>> expected{
        {"questionDesc", typed.trimmed()},
        {"telphone", phone},
        {"browserVersion", browserVersion},
        {"startBusinessCode1", Text(first[QLatin1String("businessTypeCode")])},
        {"startBusinessName1", Text(first[QLatin1String("businessTypeName")])},
        {"startBusinessCode2", Text(second[QLatin1String("businessTypeCode")])},
        {"startBusinessName2", Text(second[QLatin1String("businessTypeName")])},
        {"venderId", kVenderId},
        {"version", kAppVersion},
        {"ip", kClientIp},
        {"deviceId", kDeviceId}};
    for (const auto& field : expected)
        QCOMPARE(Text(record.value(QLatin1String(field.first))), field.second);
    const QString userId = record.value(QStringLiteral("userId")).toString();
    QVERIFY2(!userId.isEmpty() && userId != kPin, "the pin must travel encrypted");

    // What was stored is the photo the script attached, not a thumbnail of it.
    QCOMPARE(record.value(QStringLiteral("files")).toArray().size(), 1);
    const QJsonValue file = record.value(QStringLiteral("files"))[0];
    const QString fileName = file[QLatin1String("fileName")].toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^UploadImage[-0-9a-f]{36}\\.jpg$"))
                 .match(fileName)
                 .hasMatch(),
             qPrintable(fileName));
    const QImage stored =
        QImage::fromData(Fetch(QUrl(file[QLatin1String("url")].toString())), "JPEG");
    const QImage photo(printed(QStringLiteral("photo")), "JPEG");
    QVERIFY2(!stored.isNull() && !photo.isNull(), "the stored image or the photo is no JPEG");
    QCOMPARE(stored.size(), photo.size());
}

void TestDemoEndToEnd::badOptionsStartNothing_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    QTest::newRow("vender id not a number") << QStringList{"--vender-id", "12ab"} << "--vender-id";
    QTest::newRow("gateway without a scheme")
        << QStringList{"--gateway", "127.0.0.1:8730"} << "--gateway";
    QTest::newRow("gateway of another scheme")
        << QStringList{"--gateway", "ftp://127.0.0.1:8730"} << "--gateway";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    QTest::newRow("stray argument") << QStringList{"extra"} << "extra";
}

void TestDemoEndToEnd::badOptionsStartNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    const QString stateDir = m_dir->filePath(QStringLiteral("host"));
    QProcess host;
    QString report;
    QVERIFY2(RunHost(QStringList{"--script", "--state-dir", stateDir} + arguments, host, report),
             qPrintable(report));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 2);
    QVERIFY2(report.contains(complaint), qPrintable(report));
    // Refused before it set anything up: no state, no service.
    QVERIFY(!QFileInfo::exists(stateDir));
}

bool TestDemoEndToEnd::RunHost(const QStringList& arguments, QProcess& host, QString& report)
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
    report = QString::fromUtf8(host.readAllStandardOutput() + host.readAllStandardError());
    if (!finished)
        report += host.errorString();
    return finished;
}

QTEST_GUILESS_MAIN(TestDemoEndToEnd)
#include "tst_demo_e2e.moc"
