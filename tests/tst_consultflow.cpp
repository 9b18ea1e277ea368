// The consult logic end to end, without the dialog: requests go through the real HTTP
// gateway to a local advisory-server, and the server's stored records are checked.

#include "AdvisoryServerProcess.h"
#include "AesModule.h"
#include "ConsultBusinessTypeResponse.h"
#include "ConsultDescEntity.h"
#include "ConsultImageEntity.h"
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
#include <QFile>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScopedPointer>
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
const QString kPin = QStringLiteral("merchant_pin_01");

// The logic always gives the gateway 20 s per attempt, far too long to wait for in a test.
// This gateway forwards to the real HTTP one with a short attempt time instead, and keeps
// what the logic asked for.
class ShortTimeoutGateway : public IHttpManager
{
public:
    explicit ShortTimeoutGateway(int timeoutMs) : m_timeoutMs(timeoutMs) {}

    void SendRequest(QSharedPointer<IHttpRequest> request, QSharedPointer<IHttpResponse> response,
                     std::function<void()> done, int timeoutMs, int retries) override
    {
        requestedTimeouts << timeoutMs;
        m_gateway.SendRequest(request, response, std::move(done), m_timeoutMs, retries);
    }

    QList<int> requestedTimeouts;

private:
    HttpGateway m_gateway;
    int m_timeoutMs = 0;
};

enum class Failure { Fault, Timeout, ServerDown };

QSharedPointer<ConsultImageEntity> image(const QString& url, const QString& fileName)
{
    auto entity = QSharedPointer<ConsultImageEntity>::create();
    entity->url = url;
    entity->fileName = fileName;
    return entity;
}

} // namespace

Q_DECLARE_METATYPE(Failure)

class TestConsultFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void categoriesFillCache();
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
    setSession(10086, kPin, "5.3.0.1", QStringLiteral("192.168.7.21"),
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

void TestConsultFlow::categoriesFillCache()
{
    const QString categories = m_serverDir->filePath(QStringLiteral("categories.json"));
    QFile file(categories);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"([
        {"businessTypeCode": "1907", "businessTypeName": "Account and login", "children": [
            {"businessTypeCode": "1908", "businessTypeName": "Cannot log in"},
            {"businessTypeCode": 1909, "businessTypeName": "Password reset", "children": [
                {"businessTypeCode": "19091", "businessTypeName": "SMS code"}]}]},
        {"businessTypeCode": "2001", "businessTypeName": "订单 – orders", "children": []}
    ])");
    file.close();
    QVERIFY(startServer({QStringLiteral("--categories"), categories}));

    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    logic->RequestBusinessType();
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->count(kCategoryMessage), 1, kWaitMs);

    const auto response = m_recorder->notifications.first().response;
    QVERIFY2(response->IsSuccess(), qPrintable(response->GetErrorDesc()));
    ZorConsultManager* manager = logic->GetManager();
    QList<QSharedPointer<ConsultBusinessTypeEntity>> cached;
    for (int i = 0; i < manager->GetBusinessTypeCount(); ++i)
        cached << manager->GetBusinessTypeAt(i);
    QCOMPARE(describeCategories(cached),
             QStringLiteral("1907:Account and login(1908:Cannot log in,1909:Password reset"
                            "(19091:SMS code)),2001:订单 – orders"));
    QCOMPARE(m_recorder->notifications.size(), 1);
}

void TestConsultFlow::submissionIsStored()
{
    QVERIFY(startServer());

    auto desc = QSharedPointer<ConsultDescEntity>::create();
    desc->SetStartBusinessCode1(1907);
    desc->SetStartBusinessName1(QStringLiteral("Account and login"));
    desc->SetStartBusinessCode2(1908);
    desc->SetStartBusinessName2(QStringLiteral("Cannot log in"));
    desc->SetTelphone(QStringLiteral("13800138000"));
    desc->SetQuestionDesc(QStringLiteral("登录失败 \"error 7\" <b>twice</b>\nsince Monday"));
    desc->SetSourceType(QStringLiteral("0"));
    desc->SetBrowserVersion(QStringLiteral("Chrome/99.0"));
    desc->SetFileList({image(m_server.baseUrl() + QStringLiteral("/images/b.png"),
                             QStringLiteral("UploadImage-b.jpg")),
                       image(m_server.baseUrl() + QStringLiteral("/images/a.png"),
                             QStringLiteral("UploadImage-a.jpg"))});

    const QString identity = ZorConsultLogic::Instance()->SubmitDesc(desc);
    QTRY_COMPARE_WITH_TIMEOUT(m_recorder->count(kSubmitMessage), 1, kWaitMs);
    const auto notification = m_recorder->notifications.first();
    QCOMPARE(notification.request->GetIdentity(), identity);
    QVERIFY2(notification.response->IsSuccess(), qPrintable(notification.response->GetErrorDesc()));
    const QString feedbackId =
        dynamic_cast<ConsultSubmitDescResponse*>(notification.response.data())->GetFeedbackId();
    QVERIFY(!feedbackId.isEmpty());

    bool ok = false;
    const QJsonArray records = m_server.records(&ok);
    QVERIFY(ok);
    QCOMPARE(records.size(), 1);
    const QJsonObject stored = records.first().toObject();
    QCOMPARE(stored.value(QStringLiteral("id")).toString(), feedbackId);
    QCOMPARE(stored.value(QStringLiteral("requestId")).toString(), identity);

    const QJsonObject record = stored.value(QStringLiteral("record")).toObject();
    QStringList keys = recordKeys();
    keys.sort();
    QCOMPARE(record.keys(), keys);
    QCOMPARE(record.value(QStringLiteral("startBusinessCode1")).toInt(), 1907);
    QCOMPARE(record.value(QStringLiteral("startBusinessName1")).toString(),
             QStringLiteral("Account and login"));
    QCOMPARE(record.value(QStringLiteral("startBusinessCode2")).toInt(), 1908);
    QCOMPARE(record.value(QStringLiteral("startBusinessName2")).toString(),
             QStringLiteral("Cannot log in"));
    QCOMPARE(record.value(QStringLiteral("venderId")).toString(), QStringLiteral("10086"));
    QCOMPARE(record.value(QStringLiteral("telphone")).toString(), QStringLiteral("13800138000"));
    QCOMPARE(record.value(QStringLiteral("questionDesc")).toString(), desc->GetQuestionDesc());
    QCOMPARE(record.value(QStringLiteral("version")).toString(), QStringLiteral("5.3.0.1"));
    QCOMPARE(record.value(QStringLiteral("platform")).toInt(), 2);
    QCOMPARE(record.value(QStringLiteral("systemName")).toString(), QSysInfo::productType());
    QCOMPARE(record.value(QStringLiteral("systemVersion")).toString(), QSysInfo::productVersion());
    QCOMPARE(record.value(QStringLiteral("ip")).toString(), QStringLiteral("192.168.7.21"));
    QCOMPARE(record.value(QStringLiteral("resolution")).toString(), desc->GetResolution());
    QCOMPARE(record.value(QStringLiteral("sourceType")).toString(), QStringLiteral("0"));
    QCOMPARE(record.value(QStringLiteral("browserVersion")).toString(),
             QStringLiteral("Chrome/99.0"));
    QCOMPARE(record.value(QStringLiteral("deviceId")).toString(), QStringLiteral("device-7f3a"));

    const QJsonArray files = record.value(QStringLiteral("files")).toArray();
    QCOMPARE(files.size(), 2);
    QCOMPARE(files.at(0).toObject().value(QStringLiteral("url")).toString(),
             m_server.baseUrl() + QStringLiteral("/images/b.png"));
    QCOMPARE(files.at(0).toObject().value(QStringLiteral("fileName")).toString(),
             QStringLiteral("UploadImage-b.jpg"));
    QCOMPARE(files.at(1).toObject().value(QStringLiteral("fileName")).toString(),
             QStringLiteral("UploadImage-a.jpg"));

    QByteArray pin;
    QVERIFY(AesModule::decrypt_ecb_Java_base64(
        pin, record.value(QStringLiteral("userId")).toString().toUtf8(), userIdKey()));
    QCOMPARE(QString::fromUtf8(pin), kPin);
}

void TestConsultFlow::failureEndsInOneNotification_data()
{
    QTest::addColumn<bool>("submit");
    QTest::addColumn<Failure>("failure");
    QTest::addColumn<QString>("fault"); // with Failure::Fault: the server's --fault kind

    for (const bool submit : {false, true}) {
        const char* call = submit ? "submission" : "category query";
        QTest::addRow("%s: error code", call) << submit << Failure::Fault << "error:5001";
        QTest::addRow("%s: malformed body", call) << submit << Failure::Fault << "malformed";
        QTest::addRow("%s: HTTP 503", call) << submit << Failure::Fault << "http:503";
        QTest::addRow("%s: timeout", call) << submit << Failure::Timeout << QString();
        QTest::addRow("%s: server down", call) << submit << Failure::ServerDown << QString();
    }
}

void TestConsultFlow::failureEndsInOneNotification()
{
    QFETCH(bool, submit);
    QFETCH(Failure, failure);
    QFETCH(QString, fault);

    const QString api = submit ? kSubmitApi : kCategoryApi;
    // The late answer comes well after the short attempt time, and soon enough that the
    // server, which stores the record only after the delay, shows when it has answered.
    constexpr int kAttemptMs = 400;
    constexpr int kServerDelayMs = 2000;

    QStringList args;
    if (failure == Failure::Fault)
        args << QStringLiteral("--fault") << api + QLatin1Char('=') + fault;
    if (failure == Failure::Timeout) {
        args << QStringLiteral("--fault") << api + QStringLiteral("=delay:%1").arg(kServerDelayMs);
        m_shortGateway.reset(new ShortTimeoutGateway(kAttemptMs));
        IHttpManager::SetInstance(m_shortGateway.data());
    }
    // Server down: a loopback port this test holds bound without listening, so every
    // connection is refused and no other program can start listening there meanwhile.
    QTcpSocket portHolder;
    if (failure == Failure::ServerDown) {
        QVERIFY(portHolder.bind(QHostAddress(QHostAddress::LocalHost), 0));
        ZorConfigManager::Instance()->SetValue(
            QStringLiteral("gateway"), QStringLiteral("base_url"),
            QStringLiteral("http://127.0.0.1:%1").arg(portHolder.localPort()));
    } else {
        QVERIFY(startServer(args));
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
    if (failure == Failure::Timeout && submit) {
        // The server answers the abandoned request after its delay; that answer must not
        // complete the request a second time.
        QTRY_COMPARE_WITH_TIMEOUT(m_server.records().size(), 1, kWaitMs);
        QCoreApplication::processEvents();
    }
    QCOMPARE(m_recorder->count(id), 1);
    QCOMPARE(m_recorder->notifications.size(), 2);
    if (failure == Failure::Timeout)
        QCOMPARE(m_shortGateway->requestedTimeouts, (QList<int>{20000, 20000}));
    if (failure == Failure::Fault && submit) {
        bool ok = false;
        QCOMPARE(m_server.records(&ok).size(), 0);
        QVERIFY(ok);
    }
}

QTEST_MAIN(TestConsultFlow)
#include "tst_consultflow.moc"
