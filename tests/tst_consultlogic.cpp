// The consult logic against a gateway that the test drives: which requests go out, what
// the completions do to the category cache, and which notifications they dispatch.

#include "ConsultConfig.h"
#include "ConsultTestUtil.h"
#include "IHttpRequest.h"
#include "IHttpResponse.h"
#include "ManualGateway.h"
#include "MarkingTranslator.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "ZorConfigManager.h"
#include "ZorConsultLogic.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using ConsultTestUtil::successEnvelope;

namespace {

constexpr int kCategoryMessage = 20000;
constexpr int kSubmitMessage = 20001;

QString categories(ZorConsultManager* manager)
{
    QList<QSharedPointer<ConsultBusinessTypeEntity>> list;
    for (int i = 0; i < manager->GetBusinessTypeCount(); ++i)
        list << manager->GetBusinessTypeAt(i);
    return ConsultTestUtil::describeCategories(list);
}

} // namespace

class TestConsultLogic : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void queryReply_data();
    void queryReply();
    void fixedList();
    void releaseWhileInFlight();
    void submitIdentity_data();
    void submitIdentity();
    void recordUrl_data();
    void recordUrl();

private:
    QScopedPointer<ManualGateway> m_gateway;
    QScopedPointer<NotificationRecorder> m_recorder;
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
    m_gateway.reset(new ManualGateway);
    IHttpManager::SetInstance(m_gateway.data());
    m_recorder.reset(new NotificationRecorder({kCategoryMessage, kSubmitMessage}));
}

void TestConsultLogic::cleanup()
{
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
    m_recorder.reset();
    m_gateway.reset();
}

void TestConsultLogic::queryReply_data()
{
    QTest::addColumn<QByteArray>("body"); // empty: the connection failed
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("expected"); // the cache as observers of the outcome see it

    const QString kept = QStringLiteral("1907:velorin client(1908:velorin login problem)");
    QTest::newRow("two categories replace the cache")
        << successEnvelope(R"([{"businessTypeCode":"20","businessTypeName":"b","children":[]},
                               {"businessTypeCode":"10","businessTypeName":"a","children":[]}])")
        << true << "20:b,10:a";
    QTest::newRow("no categories empty the cache") << successEnvelope("[]") << true << "";
    QTest::newRow("error code keeps the cache")
        << QByteArray(R"({"code":5001,"msg":"service busy","data":null})") << false << kept;
    QTest::newRow("connection failure keeps the cache") << QByteArray() << false << kept;
}

void TestConsultLogic::queryReply()
{
    QFETCH(QByteArray, body);
    QFETCH(bool, success);
    QFETCH(QString, expected);

    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    logic->LoadLoginProblemTypes();
    // An observer reads the cache and asks again from inside the dispatch.
    QString seen;
    m_recorder->onMessage = [&](const NotificationRecorder::Notification&) {
        seen = categories(logic->GetManager());
        logic->RequestBusinessType();
    };
    logic->RequestBusinessType();
    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);
    QCOMPARE(m_gateway->calls.first().timeoutMs, 20000);
    QCOMPARE(m_gateway->calls.first().retries, 2);
    if (body.isEmpty())
        m_gateway->fail(0, HttpErrorCode::ConnectionFailed, QStringLiteral("connection refused"));
    else
        m_gateway->reply(0, body);
    // Not inside the call that ended the request, and still in flight until dispatched.
    QCOMPARE(m_recorder->notifications.size(), 0);
    logic->RequestBusinessType();
    QTRY_COMPARE(m_recorder->count(kCategoryMessage), 1);
    const auto notification = m_recorder->notifications.first();
    QCOMPARE(notification.request, m_gateway->calls.first().request);
    QCOMPARE(notification.response->IsSuccess(), success);
    QCOMPARE(notification.response->GetErrorDesc().isEmpty(), success);
    QCOMPARE(seen, expected);
    QCOMPARE(m_gateway->calls.size(), 1);

    // Once the query has ended, whatever its outcome, the next one goes out.
    m_recorder->onMessage = nullptr;
    logic->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultLogic::fixedList()
{
    // Built with a translator installed: the names are translated then, and stay so.
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    MarkingTranslator translator("ZorConsultLogic");
    QVERIFY(QCoreApplication::installTranslator(&translator));
    logic->LoadOtherProblemTypes();
    QCoreApplication::removeTranslator(&translator);
    ZorConsultManager* manager = logic->GetManager();
    QCOMPARE(categories(manager),
             QStringLiteral("1907:[velorin client](1914:[other system problem])"));

    // Only the top level is searched; an index out of range is no entry, not a crash.
    QCOMPARE(manager->GetBusinessTypeByCode(QStringLiteral("1907")), manager->GetBusinessTypeAt(0));
    QVERIFY(!manager->GetBusinessTypeByCode(QStringLiteral("1914")));
    QVERIFY(!manager->GetBusinessTypeAt(-1));
    QVERIFY(!manager->GetBusinessTypeAt(1));

    // A fixed list is local: nothing is sent and nobody is notified.
    QCoreApplication::processEvents();
    QCOMPARE(m_gateway->calls.size(), 0);
    QCOMPARE(m_recorder->notifications.size(), 0);
}

void TestConsultLogic::releaseWhileInFlight()
{
    ZorConsultLogic* logic = ZorConsultLogic::Instance();
    logic->LoadLoginProblemTypes();
    logic->RequestBusinessType();
    const QStringList identities{logic->SubmitDesc(QSharedPointer<ConsultDescEntity>::create()),
                                 logic->SubmitDesc(QSharedPointer<ConsultDescEntity>::create())};
    // Submissions wait for nothing: each goes out at once, with an identity of its own.
    QCOMPARE(m_gateway->calls.size(), 3);
    QVERIFY(identities.at(0) != identities.at(1));
    for (int i = 0; i < 2; ++i)
        QCOMPARE(m_gateway->calls.at(i + 1).request->GetIdentity(), identities.at(i));

    // The category reply goes with the released cache; submitters still hear of their
    // submissions, in the order the replies come, each notification with its own request.
    ZorConsultLogic::ReleaseInstance();
    ZorConsultLogic::ReleaseInstance(); // a second release is harmless
    m_gateway->reply(0, successEnvelope(R"([{"businessTypeCode":"9","businessTypeName":"x"}])"));
    m_gateway->reply(2, successEnvelope(R"("fb-2")"));
    m_gateway->fail(1, HttpErrorCode::Timeout, QStringLiteral("no answer in time"));
    QTRY_COMPARE(m_gateway->completed, 3);
    QCOMPARE(m_recorder->count(kCategoryMessage), 0);
    QCOMPARE(m_recorder->notifications.size(), 2);
    for (int n = 0; n < 2; ++n) {
        const auto& notification = m_recorder->notifications.at(n);
        QCOMPARE(notification.request->GetIdentity(), identities.at(1 - n));
        QCOMPARE(notification.response, m_gateway->calls.at(2 - n).response);
        QCOMPARE(notification.response->IsSuccess(), n == 0);
    }

    // A logic created afterwards starts empty and idle, untouched by the old query.
    ZorConsultLogic* fresh = ZorConsultLogic::Instance();
    QCOMPARE(fresh->GetManager()->GetBusinessTypeCount(), 0);
    fresh->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 4);
}

void TestConsultLogic::submitIdentity_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<bool>("kept");

    QTest::newRow("lower-case UUID") << "0f8fad5b-d9cb-469f-a165-70867728950e" << true;
    QTest::newRow("none") << "" << false;
    QTest::newRow("upper-case UUID") << "0F8FAD5B-D9CB-469F-A165-70867728950E" << false;
    QTest::newRow("UUID in braces") << "{0f8fad5b-d9cb-469f-a165-70867728950e}" << false;
    QTest::newRow("UUID and a header line")
        << "0f8fad5b-d9cb-469f-a165-70867728950e\r\nX: 1" << false;
    QTest::newRow("no UUID") << "resubmit-1" << false;
}

// A resubmit goes out under the identity it is given, as long as that is an identity the
// logic would have made itself.
void TestConsultLogic::submitIdentity()
{
    QFETCH(QString, given);
    QFETCH(bool, kept);

    const QString sent =
        ZorConsultLogic::Instance()->SubmitDesc(QSharedPointer<ConsultDescEntity>::create(), given);
    QCOMPARE(m_gateway->calls.size(), 1);
    QCOMPARE(m_gateway->calls.at(0).request->GetIdentity(), sent);
    QCOMPARE(sent == given, kept);
    QVERIFY2(
        QRegularExpression("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$").match(sent).hasMatch(),
        qPrintable(sent));
}

void TestConsultLogic::recordUrl_data()
{
    QTest::addColumn<QString>("configured"); // empty: not set
    QTest::addColumn<QString>("expected");

    // The value is read whenever the configuration is built, so each row sees its own.
    const QString own = QStringLiteral("http://127.0.0.1:8080/app/advisory/AdvisoryList?vender=7");
    QTest::newRow("not set") << QString()
                             << "https://advisory.kivconsult.example/app/advisory/AdvisoryList";
    QTest::newRow("set") << own << own;
}

void TestConsultLogic::recordUrl()
{
    QFETCH(QString, configured);
    QFETCH(QString, expected);

    const QString group = QStringLiteral("common"), key = QStringLiteral("feedback_record_url");
    if (configured.isEmpty())
        ZorConfigManager::Instance()->RemoveValue(group, key);
    else
        ZorConfigManager::Instance()->SetValue(group, key, configured);
    QCOMPARE(ConsultConfig().GetRecordUrl(), expected);
}

QTEST_MAIN(TestConsultLogic)
#include "tst_consultlogic.moc"
