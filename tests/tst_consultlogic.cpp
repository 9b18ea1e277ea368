// The consult logic against a gateway that the test drives: which requests go out, what
// the completions do to the category cache, and which notifications they dispatch.

#include "ConsultBusinessTypeRequest.h"
#include "ConsultBusinessTypeResponse.h"
#include "ConsultConfig.h"
#include "ConsultDescEntity.h"
#include "ConsultSubmitDescRequest.h"
#include "ConsultSubmitDescResponse.h"
#include "ConsultTestUtil.h"
#include "IHttpManager.h"
#include "IHttpResponse.h"
#include "ManualGateway.h"
#include "MarkingTranslator.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "ZorCacheManager.h"
#include "ZorConfigManager.h"
#include "ZorConsultLogic.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using ConsultTestUtil::successEnvelope;

namespace {

constexpr int kCategoryMessage = 20000;
constexpr int kSubmitMessage = 20001;

QStringList codes(ZorConsultManager* manager)
{
    QStringList result;
    for (int i = 0; i < manager->GetBusinessTypeCount(); ++i)
        result << manager->GetBusinessTypeAt(i)->businessTypeCode;
    return result;
}

} // namespace

class TestConsultLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void oneQueryInFlight();
    void failedQueryKeepsCache_data();
    void failedQueryKeepsCache();
    void successReplacesCache_data();
    void successReplacesCache();
    void observerSeesNewCacheAndCannotRequery();
    void replyAfterReleaseIsDropped();
    void releaseAndRecreate();
    void fixedLists_data();
    void fixedLists();
    void fixedListNamesAreTranslatedWhenBuilt();
    void cacheIndexOutOfRange();
    void submissionIdentities();
    void submissionAfterRelease();
    void recordUrl_data();
    void recordUrl();
    void recordUrlChangesBetweenBuilds();

private:
    ManualGateway* m_gateway = nullptr;
    NotificationRecorder* m_recorder = nullptr;
    QTemporaryDir m_configDir;
};

void TestConsultLogic::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_configDir.isValid());
    ZorConfigManager::Instance()->SetConfigFile(m_configDir.filePath(QStringLiteral("host.ini")));
}

void TestConsultLogic::init()
{
    ZorConsultLogic::ReleaseInstance();
    m_gateway = new ManualGateway;
    IHttpManager::SetInstance(m_gateway);
    m_recorder = new NotificationRecorder({kCategoryMessage, kSubmitMessage});
}

void TestConsultLogic::cleanup()
{
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
    delete m_recorder;
    m_recorder = nullptr;
    delete m_gateway;
    m_gateway = nullptr;
}

void TestConsultLogic::oneQueryInFlight()
{
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    QCOMPARE(ZorConsultLogic::Instance(), logic);
    logic->RequestBusinessType();
    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);

    const ManualGateway::Call& call = m_gateway->calls.first();
    QVERIFY(dynamic_cast<ConsultBusinessTypeRequest*>(call.request.data()));
    QVERIFY(dynamic_cast<ConsultBusinessTypeResponse*>(call.response.data()));
    QVERIFY(call.request->GetIdentity().isEmpty());
    QCOMPARE(call.timeoutMs, 20000);
    QCOMPARE(call.retries, 2);

    m_gateway->reply(0, successEnvelope(R"([{"businessTypeCode":"5","businessTypeName":"a"}])"));
    // Not inside the call that ended the request.
    QCOMPARE(m_recorder->notifications.size(), 0);
    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);

    QTRY_COMPARE(m_recorder->notifications.size(), 1);
    QCOMPARE(m_recorder->notifications.first().id, kCategoryMessage);
    QCOMPARE(m_recorder->notifications.first().request, m_gateway->calls.first().request);
    QCOMPARE(codes(logic->GetManager()), QStringList{QStringLiteral("5")});

    // Once the query has ended, the next one goes out.
    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultLogic::failedQueryKeepsCache_data()
{
    QTest::addColumn<bool>("prefilled");
    QTest::addColumn<QByteArray>("body"); // empty: the connection failed

    QTest::newRow("error code, empty cache")
        << false << QByteArray(R"({"code":5001,"msg":"service busy","data":null})");
    QTest::newRow("error code, filled cache")
        << true << QByteArray(R"({"code":5001,"msg":"service busy","data":null})");
    QTest::newRow("not an envelope") << true << QByteArray("<html>oops</html>");
    QTest::newRow("connection failed, empty cache") << false << QByteArray();
    QTest::newRow("connection failed, filled cache") << true << QByteArray();
}

void TestConsultLogic::failedQueryKeepsCache()
{
    QFETCH(bool, prefilled);
    QFETCH(QByteArray, body);

    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    if (prefilled)
        logic->LoadOtherProblemTypes();
    const auto before = logic->GetManager()->GetBusinessTypeAt(0);

    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);
    if (body.isEmpty())
        m_gateway->fail(0, HttpErrorCode::ConnectionFailed, QStringLiteral("connection refused"));
    else
        m_gateway->reply(0, body);

    QTRY_COMPARE(m_recorder->count(kCategoryMessage), 1);
    const auto response = m_recorder->notifications.first().response;
    QVERIFY(!response->IsSuccess());
    QVERIFY(!response->GetErrorDesc().isEmpty());
    QCOMPARE(logic->GetManager()->GetBusinessTypeCount(), prefilled ? 1 : 0);
    QCOMPARE(logic->GetManager()->GetBusinessTypeAt(0), before);

    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultLogic::successReplacesCache_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two categories")
        << QByteArray(R"([{"businessTypeCode":"20","businessTypeName":"b","children":[]},
                          {"businessTypeCode":"10","businessTypeName":"a","children":[]}])")
        << QStringList{"20", "10"};
    QTest::newRow("no categories") << QByteArray("[]") << QStringList();
}

void TestConsultLogic::successReplacesCache()
{
    QFETCH(QByteArray, data);
    QFETCH(QStringList, expected);

    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    logic->LoadLoginProblemTypes();
    const QSharedPointer<ConsultBusinessTypeEntity> old = logic->GetManager()->GetBusinessTypeAt(0);
    QVERIFY(old);

    logic->RequestBusinessType();
    m_gateway->reply(0, successEnvelope(data));
    QTRY_COMPARE(m_recorder->count(kCategoryMessage), 1);
    QVERIFY(m_recorder->notifications.first().response->IsSuccess());
    QCOMPARE(codes(logic->GetManager()), expected);

    // A reader that held an entry of the old list still has a whole object.
    QCOMPARE(old->businessTypeCode, QStringLiteral("1907"));
    QCOMPARE(old->GetChildren().size(), 1);
    QCOMPARE(old->GetChildren().first()->businessTypeCode, QStringLiteral("1908"));
}

void TestConsultLogic::observerSeesNewCacheAndCannotRequery()
{
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    QStringList seen;
    m_recorder->onMessage = [&](const NotificationRecorder::Notification&) {
        seen = codes(logic->GetManager());
        logic->RequestBusinessType();
    };

    logic->RequestBusinessType();
    m_gateway->reply(0, successEnvelope(R"([{"businessTypeCode":"3","businessTypeName":"c"}])"));
    QTRY_COMPARE(m_gateway->completed, 1);
    QCOMPARE(m_recorder->count(kCategoryMessage), 1);
    QCOMPARE(seen, QStringList{QStringLiteral("3")});
    QCOMPARE(m_gateway->calls.size(), 1);

    m_recorder->onMessage = nullptr;
    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultLogic::replyAfterReleaseIsDropped()
{
    ZorConsultLogic::Instance()->RequestBusinessType();
    ZorConsultLogic::ReleaseInstance();
    m_gateway->reply(0, successEnvelope(R"([{"businessTypeCode":"9","businessTypeName":"x"}])"));
    QTRY_COMPARE(m_gateway->completed, 1);
    QCOMPARE(m_recorder->notifications.size(), 0);

    // A logic created afterwards starts empty and idle, untouched by the old query.
    ZorConsultLogic* fresh = ZorConsultLogic::Instance();
    QCOMPARE(fresh->GetManager()->GetBusinessTypeCount(), 0);
    fresh->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultLogic::releaseAndRecreate()
{
    ZorConsultLogic::ReleaseInstance(); // nothing to release: harmless
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    logic->LoadLoginProblemTypes();
    logic->RequestBusinessType();
    ZorConsultLogic::ReleaseInstance();
    ZorConsultLogic::ReleaseInstance();

    ZorConsultLogic* fresh = ZorConsultLogic::Instance();
    QCOMPARE(fresh->GetManager()->GetBusinessTypeCount(), 0);
    fresh->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultLogic::fixedLists_data()
{
    QTest::addColumn<bool>("login");
    QTest::addColumn<QString>("childCode");
    QTest::addColumn<QString>("childName");

    QTest::newRow("login problems") << true << "1908"
                                    << "velorin login problem";
    QTest::newRow("other problems") << false << "1914"
                                    << "other system problem";
}

void TestConsultLogic::fixedLists()
{
    QFETCH(bool, login);
    QFETCH(QString, childCode);
    QFETCH(QString, childName);

    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    // Whatever was cached before is replaced.
    if (login) {
        logic->LoadOtherProblemTypes();
        logic->LoadLoginProblemTypes();
    } else {
        logic->LoadLoginProblemTypes();
        logic->LoadOtherProblemTypes();
    }

    ZorConsultManager* manager = logic->GetManager();
    QCOMPARE(manager->GetBusinessTypeCount(), 1);
    const auto top = manager->GetBusinessTypeAt(0);
    QCOMPARE(top->businessTypeCode, QStringLiteral("1907"));
    QCOMPARE(top->businessTypeName, QStringLiteral("velorin client"));
    const auto children = top->GetChildren();
    QCOMPARE(children.size(), 1);
    QCOMPARE(children.first()->businessTypeCode, childCode);
    QCOMPARE(children.first()->businessTypeName, childName);
    QVERIFY(children.first()->GetChildren().isEmpty());

    QCOMPARE(manager->GetBusinessTypeByCode(QStringLiteral("1907")), top);
    // Only the top level is searched, and codes compare exactly.
    QVERIFY(!manager->GetBusinessTypeByCode(childCode));
    QVERIFY(!manager->GetBusinessTypeByCode(QStringLiteral(" 1907")));
    QVERIFY(!manager->GetBusinessTypeByCode(QString()));

    // A fixed list is local: nothing is sent and nobody is notified.
    QCOMPARE(m_gateway->calls.size(), 0);
    QCoreApplication::processEvents();
    QCOMPARE(m_recorder->notifications.size(), 0);
}

void TestConsultLogic::fixedListNamesAreTranslatedWhenBuilt()
{
    MarkingTranslator translator("ZorConsultLogic");
    QVERIFY(QCoreApplication::installTranslator(&translator));
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    logic->LoadLoginProblemTypes();
    QCoreApplication::removeTranslator(&translator);

    const auto top = logic->GetManager()->GetBusinessTypeAt(0);
    QCOMPARE(top->businessTypeName, QStringLiteral("[velorin client]"));
    QCOMPARE(top->GetChildren().first()->businessTypeName,
             QStringLiteral("[velorin login problem]"));
    QCOMPARE(top->businessTypeCode, QStringLiteral("1907"));

    logic->LoadOtherProblemTypes();
    QCOMPARE(logic->GetManager()->GetBusinessTypeAt(0)->businessTypeName,
             QStringLiteral("velorin client"));
}

void TestConsultLogic::cacheIndexOutOfRange()
{
    ZorConsultManager* manager = ZorConsultLogic::Instance()->GetManager();
    QVERIFY(!manager->GetBusinessTypeAt(0));
    QVERIFY(!manager->GetBusinessTypeByCode(QStringLiteral("1907")));

    ZorConsultLogic::Instance()->LoadOtherProblemTypes();
    QVERIFY(!manager->GetBusinessTypeAt(-1));
    QVERIFY(manager->GetBusinessTypeAt(0));
    QVERIFY(!manager->GetBusinessTypeAt(manager->GetBusinessTypeCount()));
}

void TestConsultLogic::submissionIdentities()
{
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    QList<QSharedPointer<ConsultDescEntity>> records;
    QStringList identities;
    for (int i = 0; i < 3; ++i) {
        records << QSharedPointer<ConsultDescEntity>::create();
        identities << logic->SubmitDesc(records.last());
    }
    // Submissions are independent: each one goes out at once.
    QCOMPARE(m_gateway->calls.size(), 3);
    QCOMPARE(QSet<QString>(identities.cbegin(), identities.cend()).size(), 3);

    const QRegularExpression uuid(
        QStringLiteral("^[0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12}$"));
    for (int i = 0; i < 3; ++i) {
        QVERIFY2(uuid.match(identities.at(i)).hasMatch(), qPrintable(identities.at(i)));
        const ManualGateway::Call& call = m_gateway->calls.at(i);
        auto* request = dynamic_cast<ConsultSubmitDescRequest*>(call.request.data());
        QVERIFY(request);
        QVERIFY(dynamic_cast<ConsultSubmitDescResponse*>(call.response.data()));
        QCOMPARE(request->GetIdentity(), identities.at(i));
        QCOMPARE(request->GetDescEntity(), records.at(i));
        QCOMPARE(call.timeoutMs, 20000);
        QCOMPARE(call.retries, 2);
    }

    // Replies in another order than the requests: each notification carries its own request.
    m_gateway->reply(2, successEnvelope(R"("fb-3")"));
    m_gateway->fail(0, HttpErrorCode::Timeout, QStringLiteral("no answer in time"));
    m_gateway->reply(1, successEnvelope(R"("fb-2")"));
    QTRY_COMPARE(m_recorder->count(kSubmitMessage), 3);
    QCOMPARE(m_recorder->count(kCategoryMessage), 0);

    const QList<int> order{2, 0, 1};
    for (int n = 0; n < 3; ++n) {
        const auto& notification = m_recorder->notifications.at(n);
        QCOMPARE(notification.request->GetIdentity(), identities.at(order.at(n)));
        QCOMPARE(notification.response, m_gateway->calls.at(order.at(n)).response);
    }
    auto* third =
        dynamic_cast<ConsultSubmitDescResponse*>(m_recorder->notifications.at(0).response.data());
    QCOMPARE(third->GetFeedbackId(), QStringLiteral("fb-3"));
    QVERIFY(!m_recorder->notifications.at(1).response->IsSuccess());
}

void TestConsultLogic::submissionAfterRelease()
{
    const QString identity =
        ZorConsultLogic::Instance()->SubmitDesc(QSharedPointer<ConsultDescEntity>::create());
    ZorConsultLogic::ReleaseInstance();
    m_gateway->reply(0, successEnvelope(R"("fb-1")"));
    QTRY_COMPARE(m_recorder->count(kSubmitMessage), 1);
    QCOMPARE(m_recorder->notifications.first().request->GetIdentity(), identity);
    QVERIFY(m_recorder->notifications.first().response->IsSuccess());
}

void TestConsultLogic::recordUrl_data()
{
    QTest::addColumn<QVariant>("configured"); // invalid: not set
    QTest::addColumn<QString>("expected");

    QTest::newRow("not set") << QVariant()
                             << "https://advisory.kivconsult.example/app/advisory/AdvisoryList";
    QTest::newRow("set") << QVariant("http://127.0.0.1:8080/app/advisory/AdvisoryList")
                         << "http://127.0.0.1:8080/app/advisory/AdvisoryList";
    QTest::newRow("set empty") << QVariant("") << "";
}

void TestConsultLogic::recordUrl()
{
    QFETCH(QVariant, configured);
    QFETCH(QString, expected);

    ZorConfigManager* config = ZorConfigManager::Instance();
    if (configured.isValid())
        config->SetValue(QStringLiteral("common"), QStringLiteral("feedback_record_url"),
                         configured);
    else
        config->RemoveValue(QStringLiteral("common"), QStringLiteral("feedback_record_url"));
    const QString cacheDir = m_configDir.filePath(QStringLiteral("images")) + QLatin1Char('/');
    ZorCacheManager::Instance()->SetImageCacheDir(cacheDir);

    const ConsultConfig consultConfig;
    QCOMPARE(consultConfig.GetRecordUrl(), expected);
    QCOMPARE(consultConfig.GetImageCacheDir(), cacheDir);
    QVERIFY(ConsultConfig::DefaultRecordUrl().startsWith(QLatin1String("https://")));
    QVERIFY(
        ConsultConfig::DefaultRecordUrl().endsWith(QLatin1String("/app/advisory/AdvisoryList")));
}

void TestConsultLogic::recordUrlChangesBetweenBuilds()
{
    ZorConfigManager* config = ZorConfigManager::Instance();
    const QString group = QStringLiteral("common");
    const QString key = QStringLiteral("feedback_record_url");
    config->SetValue(group, key, QStringLiteral("https://one.example/list"));
    const ConsultConfig first;
    config->SetValue(group, key, QStringLiteral("https://two.example/list"));
    const ConsultConfig second;
    config->RemoveValue(group, key);
    const ConsultConfig third;

    QCOMPARE(first.GetRecordUrl(), QStringLiteral("https://one.example/list"));
    QCOMPARE(second.GetRecordUrl(), QStringLiteral("https://two.example/list"));
    QCOMPARE(third.GetRecordUrl(), ConsultConfig::DefaultRecordUrl());
}

QTEST_MAIN(TestConsultLogic)
#include "tst_consultlogic.moc"
