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
        m_gateway.SendRequest(request, response, std::move(done), kAttemptMs, retries);
    }

    static constexpr int kAttemptMs = 400;

private:
    HttpGateway m_gateway;
};

} // namespace

class TestConsultFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void submissionIsStored();
    void failureEndsInOneNotification_data();
    void failureEndsInOneNotification();

private:
    bool startServer(const QStringList& args = {});

    QTemporaryDir m_dir;
    QScopedPointer<QTemporaryDir> m_serverDir;
    AdvisoryServerProcess m_server;
    QScopedPointer<NotificationRecorder> m_recorder;
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

void TestConsultFlow::init()
{
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
    m_serverDir.reset(new QTemporaryDir(m_dir.filePath(QStringLiteral("server-XXXXXX"))));
    QVERIFY(m_serverDir->isValid());
    m_recorder.reset(new NotificationRecorder({kCategoryMessage, kSubmitMessage}));
}

void TestConsultFlow::cleanup()
{
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
    m_shortGateway.reset();
    m_recorder.reset();
    m_server.stop();
    m_serverDir.reset();
}

bool TestConsultFlow::startServer(const QStringList& args)
{
    if (!m_server.start(m_serverDir->path(), args)) {
        qWarning("%s", qPrintable(m_server.errorString()));
        return false;
    }
    ZorConfigManager::Instance()->SetValue(QStringLiteral("gateway"), QStringLiteral("base_url"),
                                           m_server.baseUrl());
    return true;
}

void TestConsultFlow::submissionIsStored()
{
    QVERIFY(startServer());

    // What the dialog fills in; the rest the record computes from the session.
    const QJsonObject entered{
        {"startBusinessCode1", 1907},
        {"startBusinessName1", "Account and login"},
        {"startBusinessCode2", 1908},
        {"startBusinessName2", "Cannot log in"},
        {"telphone", "13800138000"},
        {"questionDesc", QStringLiteral("登录失败 \"error 7\" <b>twice</b>\nsince Monday")},
        {"files",
         QJsonArray{QJsonObject{{"url", m_server.baseUrl() + QStringLiteral("/images/b.png")},
                                {"fileName", "UploadImage-b.jpg"}},
                    QJsonObject{{"url", m_server.baseUrl() + QStringLiteral("/images/a.png")},
                                {"fileName", "UploadImage-a.jpg"}}}},
        {"sourceType", "0"},
        {"browserVersion", "Chrome/99.0"},
    };
    auto desc = QSharedPointer<ConsultDescEntity>::create();
    QVERIFY(desc->Parse(QJsonDocument(entered)));

    const QString identity = ZorConsultLogic::Instance()->SubmitDesc(desc);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->count(kSubmitMessage), 1, kWaitMs);
    const auto notification = m_recorder->notifications.first();
    QCOMPARE(notification.request->GetIdentity(), identity);
    QVERIFY2(notification.response->IsSuccess(), qPrintable(notification.response->GetErrorDesc()));
    const QString feedbackId =
        dynamic_cast<ConsultSubmitDescResponse*>(notification.response.data())->GetFeedbackId();
    QVERIFY(!feedbackId.isEmpty());

    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), 1);
    const QJsonObject stored = records.first().toObject();
    QCOMPARE(stored.value(QStringLiteral("id")).toString(), feedbackId);
    QCOMPARE(stored.value(QStringLiteral("requestId")).toString(), identity);

    // Every key with its JSON type: codes and platform as numbers, the vender id as text,
    // the pin encrypted.
    QJsonObject expected = entered;
    expected.insert(QStringLiteral("venderId"), QStringLiteral("10086"));
    expected.insert(QStringLiteral("userId"), QStringLiteral("PtMYNKkIPAlxf2tC9+bx2g=="));
    expected.insert(QStringLiteral("version"), QStringLiteral("5.3.0.1"));
    expected.insert(QStringLiteral("platform"), 2);
    expected.insert(QStringLiteral("systemName"), QSysInfo::productType());
    expected.insert(QStringLiteral("systemVersion"), QSysInfo::productVersion());
    expected.insert(QStringLiteral("ip"), QStringLiteral("192.168.7.21"));
    expected.insert(QStringLiteral("resolution"), desc->GetResolution());
    expected.insert(QStringLiteral("deviceId"), QStringLiteral("device-7f3a"));
    const QJsonObject record = stored.value(QStringLiteral("record")).toObject();
    QCOMPARE(record.size(), recordKeys().size());
    for (const QString& key : recordKeys())
        QVERIFY2(record.value(key) == expected.value(key), qPrintable(key));
}

void TestConsultFlow::failureEndsInOneNotification_data()
{
    QTest::addColumn<bool>("submit");
    QTest::addColumn<QString>("fault"); // the server's --fault kind; "down": no server at all

    QTest::newRow("category query: malformed body") << false << "malformed";
    QTest::newRow("category query: server down") << false << "down";
    QTest::newRow("submission: error code") << true << "error:5001";
    // The server answers well after the short attempt time, and stores the record only then.
    QTest::newRow("submission: timeout, late answer") << true << "delay:2000";
}

void TestConsultFlow::failureEndsInOneNotification()
{
    QFETCH(bool, submit);
    QFETCH(QString, fault);

    const bool timeout = fault.startsWith(QLatin1String("delay"));
    // Server down: a loopback port this test holds bound without listening, so every
    // connection is refused and no other program can start listening there meanwhile.
    QTcpSocket portHolder;
    if (fault == QLatin1String("down")) {
        QVERIFY(portHolder.bind(QHostAddress(QHostAddress::LocalHost), 0));
        ZorConfigManager::Instance()->SetValue(
            QStringLiteral("gateway"), QStringLiteral("base_url"),
            QStringLiteral("http://127.0.0.1:%1").arg(portHolder.localPort()));
    } else {
        const QString api = submit ? kSubmitApi : kCategoryApi;
        QVERIFY(startServer({QStringLiteral("--fault"), api + QLatin1Char('=') + fault}));
    }
    if (timeout) {
        m_shortGateway.reset(new ShortTimeoutGateway);
        IHttpManager::SetInstance(m_shortGateway.data());
    }

    const int id = submit ? kSubmitMessage : kCategoryMessage;
    const int otherId = submit ? kCategoryMessage : kSubmitMessage;
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    QString identity;
    if (submit)
        identity = logic->SubmitDesc(QSharedPointer<ConsultDescEntity>::create());
    else
        logic->RequestBusinessType();

    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->count(id), 1, kWaitMs);
    const auto notification = m_recorder->notifications.first();
    QCOMPARE(notification.request->GetIdentity(), identity);
    QVERIFY(!notification.response->IsSuccess());
    QVERIFY(!notification.response->GetErrorDesc().trimmed().isEmpty());
    if (submit) {
        auto* response = dynamic_cast<ConsultSubmitDescResponse*>(notification.response.data());
        QVERIFY(response->GetFeedbackId().isEmpty());
    } else {
        QCOMPARE(logic->GetManager()->GetBusinessTypeCount(), 0);
    }

    // A request of the other kind, sent afterwards, ends after any stray second completion
    // of the failed one would have arrived.
    if (submit)
        logic->RequestBusinessType();
    else
        logic->SubmitDesc(QSharedPointer<ConsultDescEntity>::create());
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->count(otherId), 1, kWaitMs);
    if (timeout) {
        // The server answers the abandoned request after its delay; that answer must not
        // complete the request a second time.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.records().size(), 1, kWaitMs);
        QCoreApplication::processEvents();
    }
    QCOMPARE(m_recorder->count(id), 1);
    QCOMPARE(m_recorder->notifications.size(), 2);
}

QTEST_MAIN(TestConsultFlow)
#include "tst_consultflow.moc"
