// The demo host's scripted feedback, end to end: a real window on a private X server, the
// module loaded by feedback-host, advisory-server on a free loopback port, the stored record.
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
    void scriptedFeedbackIsStored();
    void badOptionsStartNothing_data();
    void badOptionsStartNothing();

private:
    // Runs feedback-host to its end (killing it if it hangs); returns what it printed.
    QString RunHost(const QStringList& arguments, QProcess& host);

    QTemporaryDir m_dir;
};

void TestDemoEndToEnd::initTestCase()
{
    TestMessageHandler::install();
    // Arguments reach the host in the locale's encoding; the descriptions are not ASCII.
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo(QStringLiteral(KIV_BIN_DIR "/feedback-host")).isExecutable(),
             "feedback-host is not built");
}

void TestDemoEndToEnd::scriptedFeedbackIsStored()
{
    AdvisoryServerProcess server;
    QVERIFY2(server.start(m_dir.filePath(QStringLiteral("server"))),
             qPrintable(server.errorString()));
    // The script takes the first category and its first child, as the service offers them.
    const QByteArray categoryReply = Fetch(
        QUrl(server.baseUrl() + "/dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType"),
        R"({"venderId": "1"})");
    const QJsonValue first = QJsonDocument::fromJson(categoryReply)[QLatin1String("data")][0];
    const QJsonValue second = first[QLatin1String("children")][0];
    QVERIFY2(second.isObject(), categoryReply.constData());

    // Each option given to the host, its value (none a default of the host's) and the record
    // key that must hold it. The description has characters outside ASCII, one beyond the basic
    // plane, and blanks the dialog trims; the categories are the script's choice.
    const QList<QStringList> given{
        {"--description",
         QStringLiteral("  Bondrucker stoppt \u2013 \u6253\u5370\u673a\u5361\u7eb8 \U0001F642  "),
         "questionDesc"},
        {"--phone", "15912345678", "telphone"},
        {"--browser-version", "WebView 119.0 (Linux x86_64)", "browserVersion"},
        {"--vender-id", "918273", "venderId"},
        {"--app-version", "9.9.9-e2e", "version"},
        {"--client-ip", "10.20.30.40", "ip"},
        {"--device-id", "0b9a7c58-7e3f-4f38-9d3a-e2e000000001", "deviceId"},
        {"--pin", "e2e-pin-4711", "userId"},
        {"", Text(first["businessTypeCode"]), "startBusinessCode1"},
        {"", Text(first["businessTypeName"]), "startBusinessName1"},
        {"", Text(second["businessTypeCode"]), "startBusinessCode2"},
        {"", Text(second["businessTypeName"]), "startBusinessName2"}};
    const QString screenshot = m_dir.filePath(QStringLiteral("shots/dialog.png"));
    // The addresses derived from the gateway's must not double its trailing slash.
    QStringList arguments{"--script", "--gateway", server.baseUrl() + '/', "--screenshot"};
    arguments << screenshot << "--state-dir" << m_dir.filePath(QStringLiteral("host"));
    // The host chooses its dark skin; the dialog opens in it.
    arguments << "--skin" << "dark";
    for (const QStringList& option : given)
        if (!option[0].isEmpty())
            arguments << option[0] << option[1];
    QProcess host;
    const QString report = RunHost(arguments, host);
    QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0, qPrintable(report));

    const auto printed = [&report](const char* label) {
        const QRegularExpression line(QStringLiteral("^%1: (.+)$").arg(label),
                                      QRegularExpression::MultilineOption);
        return line.match(report).captured(1).trimmed();
    };
    QCOMPARE(printed("history page"), server.baseUrl() + "/app/advisory/AdvisoryList");
    QCOMPARE(printed("screenshot"), QDir::toNativeSeparators(screenshot));
    const QImage shot(screenshot, "PNG");
    QVERIFY2(shot.width() >= 300 && shot.height() >= 300, "no screenshot of the dialog");
    QVERIFY2(qGray(shot.pixel(shot.width() / 2, shot.height() - 4)) < 64, "not the dark skin");

    const QJsonArray records = server.records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(Text(records[0][QLatin1String("id")]), printed("feedback id"));
    const QJsonObject record = records[0][QLatin1String("record")].toObject();
    for (const QStringList& option : given) {
        const QString stored = Text(record.value(option[2]));
        if (option[0] == QLatin1String("--pin"))
            QVERIFY2(!stored.isEmpty() && stored != option[1], "the pin must travel encrypted");
        else
            QCOMPARE(stored, option[1].trimmed());
    }

    // What was stored is the photo the script attached, not a thumbnail of it.
    const QJsonArray files = record.value(QStringLiteral("files")).toArray();
    QCOMPARE(files.size(), 1);
    const QString fileName = files[0][QLatin1String("fileName")].toString();
    QVERIFY2(
        fileName.contains(QRegularExpression(QStringLiteral("^UploadImage[-0-9a-f]{36}\\.jpg$"))),
        qPrintable(fileName));
    const QImage stored =
        QImage::fromData(Fetch(QUrl(files[0][QLatin1String("url")].toString())), "JPEG");
    const QImage photo(printed("photo"), "JPEG");
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
    QTest::newRow("unknown skin") << QStringList{"--skin", "sepia"} << "--skin";
    QTest::newRow("unknown option") << QStringList{"--frobnicate"} << "frobnicate";
    QTest::newRow("stray argument") << QStringList{"extra"} << "extra";
}

void TestDemoEndToEnd::badOptionsStartNothing()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    const QString stateDir = m_dir.filePath(QTest::currentDataTag());
    QProcess host;
    const QString report =
        RunHost(QStringList{"--script", "--state-dir", stateDir} + arguments, host);
    QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 2 &&
                 report.contains(complaint),
             qPrintable(report));
    // Refused before it set anything up: no state, no service.
    QVERIFY(!QFileInfo::exists(stateDir));
}

QString TestDemoEndToEnd::RunHost(const QStringList& arguments, QProcess& host)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    // Whatever Qt or the platform keep per user stays in the test's directory.
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_dir.path());
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"})
        environment.insert(name, m_dir.filePath(name));
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(KIV_BIN_DIR "/feedback-host"), arguments);
    QString report;
    if (!host.waitForFinished(200000)) {
        report = "feedback-host did not finish: " + host.errorString() + '\n';
        host.kill();
        host.waitForFinished();
    }
    return report + QString::fromUtf8(host.readAllStandardOutput() + host.readAllStandardError());
}

QTEST_GUILESS_MAIN(TestDemoEndToEnd)
#include "tst_demo_e2e.moc"
