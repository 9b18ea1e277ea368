// The HTTP gateway against the local advisory service: what goes over the wire, how each
// way a request can end reaches the response, and that the completion runs exactly once,
// on a later turn of the event loop.

#include "AdvisoryServerProcess.h"
#include "HttpGateway.h"
#include "IHttpRequestDsm.h"
#include "IHttpResponseDsm.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QScopedPointer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kSubmitApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");
const QByteArray kSubmitBody = QByteArrayLiteral(
    R"({"param":{"telphone":"13800000000","questionDesc":"cannot log in","files":[]}})");
// Goes into a header line, which it must not be able to break out of.
const QString kIdentity = QStringLiteral("id 7\r\nX-Injected: 1");

// A submission that counts how often the gateway asked for its body: once per attempt.
class TestRequest : public IHttpRequestDsm
{
    Q_OBJECT
public:
    QString GetApiName() const override { return kSubmitApi; }
    QByteArray GetBusinessParam() const override
    {
        ++bodyReads;
        return kSubmitBody;
    }
    QString GetApiUrl() const override { return apiUrl; }

    QString apiUrl;
    mutable int bodyReads = 0;
};

class TestResponse : public IHttpResponseDsm
{
    Q_OBJECT
public:
    void ParseData(const QJsonValue&) override { ++parseCount; }

    int parseCount = 0;
};

// Refusing: a loopback port this test holds bound without listening, so every connection
// is refused and no other program can start listening there meanwhile.
enum class Address { Base, BaseWithSlashes, OwnOverRefusingBase, Refusing, NotConfigured };

void setBaseUrl(const QString& url)
{
    ZorConfigManager::Instance()->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"),
                                           url);
}

// Lets everything already queued run, so a second completion would have shown by now.
void drainEvents()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, 0);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }
}

} // namespace

Q_DECLARE_METATYPE(Address)

class TestGateway : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void send_data();
    void send();

private:
    QTemporaryDir m_dir;
};

void TestGateway::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
}

void TestGateway::cleanup()
{
    setBaseUrl(QString());
}

void TestGateway::send_data()
{
    QTest::addColumn<Address>("address");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("destroy"); // the gateway is destroyed once the request is sent
    QTest::addColumn<int>("code");     // a timeout comes after an attempt time of 0.3 s
    QTest::addColumn<int>("attempts"); // a refused connection is retried attempts - 1 times
    QTest::addColumn<QString>("descPattern");

    using namespace HttpErrorCode;
    QTest::newRow("stored") << Address::Base << "" << false << 0 << 1 << "^$";
    QTest::newRow("base address with trailing slashes")
        << Address::BaseWithSlashes << "" << false << 0 << 1 << "^$";
    QTest::newRow("request's own address wins over the base")
        << Address::OwnOverRefusingBase << "" << false << 0 << 1 << "^$";
    QTest::newRow("HTTP error status")
        << Address::Base << "http:503" << false << int(HttpStatus) << 1 << "HTTP status 503";
    QTest::newRow("HTTP 404: wrong address")
        << Address::Base << "http:404" << false << int(HttpStatus) << 1 << "HTTP status 404\\b";
    QTest::newRow("HTTP 413: body too large")
        << Address::Base << "http:413" << false << int(HttpStatus) << 1 << "HTTP status 413\\b";
    // Never sent again: the service may still be working on it.
    QTest::newRow("no answer in time") << Address::Base << "delay:3000" << false << int(Timeout)
                                       << 1 << "did not answer within 0.3 seconds";
    QTest::newRow("server down, sent again")
        << Address::Refusing << "" << false << int(ConnectionFailed) << 3
        << "^Could not connect to the advisory service at http://127\\.0\\.0\\.1:\\d+/dsm\\..+: "
           ".+\\. Check the network connection";
    QTest::newRow("server down, no retries")
        << Address::Refusing << "" << false << int(ConnectionFailed) << 1 << "^Could not connect";
    QTest::newRow("destroyed while on its way")
        << Address::Base << "delay:3000" << true << int(Cancelled) << 1 << "was cancelled";
    // The failure is known at once, and its completion already queued.
    QTest::newRow("no base address, destroyed")
        << Address::NotConfigured << "" << true << int(Unknown) << 0 << "base_url.*gateway";
}

void TestGateway::send()
{
    QFETCH(Address, address);
    QFETCH(QString, fault);
    QFETCH(bool, destroy);
    QFETCH(int, code);
    QFETCH(int, attempts);
    QFETCH(QString, descPattern);

    auto request = QSharedPointer<TestRequest>::create();
    request->SetIdentity(kIdentity);
    QTcpSocket portHolder;
    QVERIFY(portHolder.bind(QHostAddress(QHostAddress::LocalHost), 0));
    const QString refusing = QStringLiteral("http://127.0.0.1:%1").arg(portHolder.localPort());
    // A fresh data directory: the test sees only the records it made.
    QTemporaryDir serverDir(m_dir.filePath(QStringLiteral("server-XXXXXX")));
    AdvisoryServerProcess server;
    if (address == Address::Refusing) {
        setBaseUrl(refusing);
    } else if (address != Address::NotConfigured) {
        const QStringList args{QStringLiteral("--fault"), kSubmitApi + QLatin1Char('=') + fault};
        QVERIFY2(serverDir.isValid() &&
                     server.start(serverDir.path(), fault.isEmpty() ? QStringList() : args),
                 qPrintable(server.errorString()));
        setBaseUrl(server.baseUrl() + (address == Address::BaseWithSlashes ? "//" : ""));
        if (address == Address::OwnOverRefusingBase) {
            request->apiUrl = server.baseUrl() + QLatin1Char('/') + kSubmitApi;
            setBaseUrl(refusing);
        }
    }

    auto response = QSharedPointer<TestResponse>::create();
    const QWeakPointer<TestResponse> watched = response;
    QScopedPointer<HttpGateway> gateway(new HttpGateway);
    int completions = 0;
    const int timeoutMs = code == HttpErrorCode::Timeout ? 300 : 20000;
    const int retries = address == Address::Refusing ? attempts - 1 : 2;
    gateway->SendRequest(
        request, response, [&completions]() { ++completions; }, timeoutMs, retries);
    QCOMPARE(completions, 0); // never inside the call
    if (destroy) {
        QTRY_COMPARE(request->bodyReads, attempts);
        response.reset(); // only the gateway keeps it alive now
        gateway.reset();
        QCOMPARE(completions, 0); // not inside the destructor either
        response = watched.toStrongRef();
        QVERIFY(response);
    }
    QTRY_COMPARE_WITH_TIMEOUT(completions, 1, 15000);
    drainEvents();
    QCOMPARE(completions, 1);

    QCOMPARE(response->IsSuccess(), code == 0);
    QCOMPARE(response->GetErrorCode(), code);
    QVERIFY2(response->GetErrorDesc().contains(QRegularExpression(descPattern)),
             qPrintable(response->GetErrorDesc()));
    QCOMPARE(request->bodyReads, attempts);
    QCOMPARE(response->parseCount, int(code == 0));
    // Released once done has run: nothing of the request is kept.
    request.reset();
    response.reset();
    QVERIFY(!watched);
    if (code != 0)
        return;

    // The service stored the body as sent, under the whole identity.
    const QJsonArray records = server.records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.at(0)[QLatin1String("requestId")].toString(), kIdentity);
    QCOMPARE(records.at(0)[QLatin1String("record")],
             QJsonDocument::fromJson(kSubmitBody)[QLatin1String("param")]);
}

QTEST_GUILESS_MAIN(TestGateway)
#include "tst_gateway.moc"
