// The consult logic end to end, without the dialog: requests go through the real HTTP
// gateway to a local advisory-server, and the server's stored records are checked.

#include "AdvisoryServerProcess.h"
#include "ConsultDescEntity.h"
#include "ConsultSubmitDescResponse.h"
#include "ConsultTestUtil.h"
#include "HttpGateway.h"
#include "IHttpManager.h"
#include "IHttpRequest.h"
#include "IHttpResponse.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"
#include "ZorConsultLogic.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace ConsultTestUtil;

namespace {

constexpr int kCategoryMessage = 20000;
constexpr int kSubmitMessage = 20001;
// Generous: a loaded CI machine, and the gateway's retries when the server is down.
constexpr int kWaitMs = 30000;

const QString kCategoryApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QString kSubmitApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");

// The logic always gives the gateway 20 s per attempt, far too long to wait for in a test.
// This gateway forwards to the real HTTP one with a short attempt time instead.
class ShortTimeoutGateway : public IHttpManager
{
public:
    void SendRequest(QSharedPointer<IHttpRequest> request, QSharedPointer<IHttpResponse> response,
                     std::function<void()> done, int, int retries) override
    {
        m_gateway.SendRequest(request, response, std::move(done), 400, retries);
    }

private:
    HttpGateway m_gateway;
};

} // namespace

class TestConsultFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void request_data();
    void request();

private:
    QTemporaryDir m_dir;
    QScopedPointer<ShortTimeoutGateway> m_shortGateway;
};

void TestConsultFlow::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_dir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_dir.filePath(QStringLiteral("host.ini")));
    setSession(10086, QStringLiteral("merchant_pin_01"), "5.3.0.1", QStringLiteral("192.168.7.21"),
               QStringLiteral("device-7f3a"));
}

void TestConsultFlow::cleanup()
{
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
    m_shortGateway.reset();
}

void TestConsultFlow::request_data()
{
    QTest::addColumn<bool>("submit");
    QTest::addColumn<QString>("fault"); // the server's --fault kind; "down": no server at all

    QTest::newRow("submission stored") << true << "";
    QTest::newRow("category query: malformed body") << false << "malformed";
    QTest::newRow("category query: server down") << false << "down";
    QTest::newRow("submission: error code") << true << "error:5001";
    // The server answers well after the short attempt time, and stores the record only then.
    QTest::newRow("submission: timeout, late answer") << true << "delay:2000";
}

void TestConsultFlow::request()
{
    QFETCH(bool, submit);
    QFETCH(QString, fault);

    const bool timeout = fault.startsWith(QLatin1String("delay"));
    QTemporaryDir serverDir(m_dir.filePath(QStringLiteral("server-XXXXXX")));
    AdvisoryServerProcess server;
    // Server down: a loopback port this test holds bound without listening, so every
    // connection is refused and no other program can start listening there meanwhile.
    QTcpSocket portHolder;
    QString baseUrl;
    if (fault == QLatin1String("down")) {
        QVERIFY(portHolder.bind(QHostAddress(QHostAddress::LocalHost), 0));
        baseUrl = QStringLiteral("http://127.0.0.1:%1").arg(portHolder.localPort());
    } else {
        const QString api = submit ? kSubmitApi : kCategoryApi;
        const QStringList args{QStringLiteral("--fault"), api + QLatin1Char('=') + fault};
        QVERIFY2(serverDir.isValid() &&
                     server.start(serverDir.path(), fault.isEmpty() ? QStringList() : args),
                 qPrintable(server.errorString()));
        baseUrl = server.baseUrl();
    }
    ZorConfigManager::Instance()->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"),
                                           baseUrl);
    if (timeout) {
        m_shortGateway.reset(new ShortTimeoutGateway);
        IHttpManager::SetInstance(m_shortGateway.data());
    }

    // What the dialog fills in; the rest the record computes from the session.
    const QJsonObject entered{
        {"startBusinessCode1", 1907},
        {"startBusinessName1", "Account and login"},
        {"startBusinessCode2", 1908},
        {"startBusinessName2", "Cannot log in"},
        {"telphone", "13800138000"},
        {"questionDesc", QStringLiteral("登录失败 \"error 7\" <b>twice</b>\nsince Monday")},
        {"files", QJsonArray{QJsonObject{{"url", "http://127.0.0.1/images/b.png"},
                                         {"fileName", "UploadImage-b.jpg"}},
                             QJsonObject{{"url", "http://127.0.0.1/images/a.png"},
                                         {"fileName", "UploadImage-a.jpg"}}}},
        {"sourceType", "0"},
        {"browserVersion", "Chrome/99.0"}};
    auto desc = QSharedPointer<ConsultDescEntity>::create();
    QVERIFY(desc->Parse(QJsonDocument(entered)));
    NotificationRecorder recorder({kCategoryMessage, kSubmitMessage});
    const int id = submit ? kSubmitMessage : kCategoryMessage;
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    const QString identity = submit ? logic->SubmitDesc(desc) : QString();
    if (!submit)
        logic->RequestBusinessType();

    QTRY_COMPARE_WITH_TIMEOUT(recorder.count(id), 1, kWaitMs);
    const auto notification = recorder.notifications.first();
    QCOMPARE(notification.request->GetIdentity(), identity);
    QVERIFY2(notification.response->IsSuccess() == fault.isEmpty(),
             qPrintable(notification.response->GetErrorDesc()));
    const auto* submitted = dynamic_cast<ConsultSubmitDescResponse*>(notification.response.data());
    if (fault.isEmpty()) {
        QVERIFY(!submitted->GetFeedbackId().isEmpty());
        const QJsonArray records = server.records();
        QCOMPARE(records.size(), 1);
        QCOMPARE(records.first()[QLatin1String("id")].toString(), submitted->GetFeedbackId());
        QCOMPARE(records.first()[QLatin1String("requestId")].toString(), identity);

        // Every key with its JSON type: codes and platform as numbers, the vender id as text,
        // the pin encrypted.
        QJsonObject expected{{"venderId", "10086"},
                             {"userId", "PtMYNKkIPAlxf2tC9+bx2g=="},
                             {"version", "5.3.0.1"},
                             {"platform", 2},
                             {"systemName", QSysInfo::productType()},
                             {"systemVersion", QSysInfo::productVersion()},
                             {"ip", "192.168.7.21"},
                             {"resolution", desc->GetResolution()},
                             {"deviceId", "device-7f3a"}};
        for (auto it = entered.begin(); it != entered.end(); ++it)
            expected.insert(it.key(), it.value());
        const QJsonObject record = records.first()[QLatin1String("record")].toObject();
        QCOMPARE(record.size(), recordKeys().size());
        for (const QString& key : recordKeys())
            QVERIFY2(record.value(key) == expected.value(key), qPrintable(key));
        return;
    }
    QVERIFY(!notification.response->GetErrorDesc().trimmed().isEmpty());
    if (submit)
        QVERIFY(submitted->GetFeedbackId().isEmpty());
    else
        QCOMPARE(logic->GetManager()->GetBusinessTypeCount(), 0);

    // A request of the other kind, sent afterwards, ends after any stray second completion
    // of the failed one would have arrived.
    if (submit)
        logic->RequestBusinessType();
    else
        logic->SubmitDesc(desc);
    QTRY_COMPARE_WITH_TIMEOUT(recorder.notifications.size(), 2, kWaitMs);
    if (timeout) {
        // The server answers the abandoned request after its delay; that answer must not
        // complete the request a second time.
        QTRY_COMPARE_WITH_TIMEOUT(server.records().size(), 1, kWaitMs);
        QCoreApplication::processEvents();
    }
    QCOMPARE(recorder.count(id), 1);
    QCOMPARE(recorder.notifications.size(), 2);
}

QTEST_MAIN(TestConsultFlow)
#include "tst_consultflow.moc"
