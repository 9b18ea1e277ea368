// A user who submits feedback, meets a failure and submits again, in a real window against
// advisory-server behind a proxy that plays the network's faults: whatever happened to the
// first attempt, the service keeps one record and the host hears of it once, with that
// record's feedback id.

#include "AdvisoryServerProcess.h"
#include "ConsultTestUtil.h"
#include "DialogTestKit.h"
#include "FaultProxy.h"
#include "HttpGateway.h"
#include "IHttpManager.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorCategoryComBox.h"
#include "ZorConfigManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"
#include "ZorToast.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QSize>
#include <QTest>
#include <QTextEdit>

using namespace DialogTestKit;

namespace {

const QString kSubmitPath =
    QStringLiteral("/dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");
const QString kUploadPath = QStringLiteral("/image/upload");
constexpr int kAttemptMs = 1500;
constexpr int kWaitMs = 30000;

// The logic gives each attempt 20 s; waiting that long for a timeout would slow the suite.
class ShortTimeoutGateway : public IHttpManager
{
public:
    void SendRequest(QSharedPointer<IHttpRequest> request, QSharedPointer<IHttpResponse> response,
                     std::function<void()> done, int, int retries) override
    {
        m_gateway.SendRequest(request, response, std::move(done), kAttemptMs, retries);
    }

private:
    HttpGateway m_gateway;
};

enum class Trouble { LateAnswer, AnswerDropped, Restarted, RefusedOnTheWay };

} // namespace

Q_DECLARE_METATYPE(Trouble)

class TestResubmitFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void resubmit_data();
    void resubmit();
    void oneOfThreeUploadsFails();

private:
    // The service's files for the current case: a fresh database per case.
    QString serverDir() const;
    void openFilledDialog();
    QStringList failedToasts() const;
    void submit();

    HostSandbox m_sandbox;
    QTemporaryDir m_serverDir;
    AdvisoryServerProcess m_server;
    FaultProxy m_proxy;
    ShortTimeoutGateway m_gateway;
    QScopedPointer<QSignalSpy> m_toasts;
    QPointer<ZorConsultDialog> m_dialog;
};

void TestResubmitFlow::initTestCase()
{
    TestMessageHandler::install();
    QVERIFY(m_sandbox.setUp());
    QVERIFY(m_serverDir.isValid());
    ConsultTestUtil::setSession(10086, QStringLiteral("merchant_pin_01"), "5.3.0.1",
                                QStringLiteral("192.168.7.21"), QStringLiteral("device-7f3a"));
    IHttpManager::SetInstance(&m_gateway);
}

QString TestResubmitFlow::serverDir() const
{
    return m_serverDir.filePath(QString::fromLatin1(QTest::currentTestFunction()) + '-' +
                                QString::fromLatin1(QTest::currentDataTag()));
}

void TestResubmitFlow::init()
{
    QVERIFY2(m_server.start(serverDir()), qPrintable(m_server.errorString()));
    QVERIFY(m_proxy.isListening() || m_proxy.start(m_server.port()));
    m_proxy.reset();
    m_proxy.setUpstreamPort(m_server.port());
    ZorConfigManager::Instance()->SetValue("gateway", "base_url", m_proxy.baseUrl());
    ZorConfigManager::Instance()->SetValue("image", "upload_url", m_proxy.baseUrl() + kUploadPath);
    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(
        R"([{"businessTypeCode": "1907", "businessTypeName": "Account and login", "children": [
              {"businessTypeCode": "1908", "businessTypeName": "Cannot log in"}]}])"));
    m_toasts.reset(new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown));
}

void TestResubmitFlow::cleanup()
{
    delete m_dialog;
    ZorConsultLogic::ReleaseInstance();
    m_server.stop();
}

void TestResubmitFlow::openFilledDialog()
{
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->InitData();
    m_dialog->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
    m_dialog->findChild<ZorCategoryComBox*>("typeEdit")->SetCurrentId("1907", "1908");
    m_dialog->findChild<QTextEdit*>("textEdit")->setPlainText(QStringLiteral("Login fails"));
    QTest::keyClicks(m_dialog->findChild<QLineEdit*>("phoneEdit"), QStringLiteral("13800138000"));
}

QStringList TestResubmitFlow::failedToasts() const
{
    QStringList texts;
    for (const QList<QVariant>& toast : *m_toasts) {
        if (toast.at(1).toInt() == TOAST_FAILED)
            texts << toast.at(0).toString();
    }
    return texts;
}

void TestResubmitFlow::submit()
{
    QTest::mouseClick(m_dialog->findChild<QPushButton*>("submitButton"), Qt::LeftButton);
}

void TestResubmitFlow::resubmit_data()
{
    QTest::addColumn<Trouble>("trouble");
    // Records the service holds when the user submits again.
    QTest::addColumn<int>("storedBefore");

    // The service stores the record only after the client gave up waiting.
    QTest::newRow("answered after the client's timeout") << Trouble::LateAnswer << 1;
    QTest::newRow("connection closed after the record was stored") << Trouble::AnswerDropped << 1;
    QTest::newRow("service restarted after storing") << Trouble::Restarted << 1;
    // The service never saw the first attempt: its identity is new to it.
    QTest::newRow("refused before reaching the service") << Trouble::RefusedOnTheWay << 0;
}

void TestResubmitFlow::resubmit()
{
    QFETCH(Trouble, trouble);
    QFETCH(int, storedBefore);

    switch (trouble) {
    case Trouble::LateAnswer:
        m_proxy.addFault(kSubmitPath, FaultProxy::Fault::Hold, 1, 0, 2 * kAttemptMs);
        break;
    case Trouble::AnswerDropped:
    case Trouble::Restarted:
        // Every answer, as the HTTP stack sends a request again on a connection closed
        // without an answer, until the user tries again.
        m_proxy.addFault(kSubmitPath, FaultProxy::Fault::DropAnswer, -1);
        break;
    case Trouble::RefusedOnTheWay:
        m_proxy.addFault(kSubmitPath, FaultProxy::Fault::Refuse);
        break;
    }
    openFilledDialog();
    QSignalSpy submitted(m_dialog.data(), &ZorConsultDialog::SigSubmitSuccess);
    submit();
    QTRY_COMPARE_WITH_TIMEOUT(failedToasts().size(), 1, kWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.records().size(), storedBefore, kWaitMs);
    if (trouble == Trouble::Restarted) {
        // Same database, another process and port.
        QVERIFY(m_server.start(serverDir()));
        m_proxy.setUpstreamPort(m_server.port());
    }
    QCOMPARE(submitted.count(), 0);
    m_proxy.clearFaults();

    submit();
    QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, kWaitMs);
    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(submitted.first().at(0).toString(), records[0]["id"].toString());
    // Both attempts went out under one identity, a lower-case UUID.
    const QStringList ids = m_proxy.requestIds(kSubmitPath);
    QVERIFY(ids.size() >= 2);
    QCOMPARE(ids.count(ids[0]), ids.size());
    QVERIFY2(
        QRegularExpression("^[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}$").match(ids[0]).hasMatch(),
        qPrintable(ids[0]));
    QCOMPARE(records[0]["requestId"].toString(), ids[0]);
    QTRY_VERIFY(m_dialog.isNull() || !m_dialog->isVisible());
    QCOMPARE(submitted.count(), 1);
}

void TestResubmitFlow::oneOfThreeUploadsFails()
{
    m_proxy.addFault(kUploadPath, FaultProxy::Fault::Refuse, 1, 1);
    openFilledDialog();
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    for (int i = 0; i < 3; ++i) {
        strip->AddImage(false, savePicture(m_sandbox.path(QStringLiteral("shot%1.png").arg(i)),
                                           QSize(40 + i, 30)));
        QTRY_COMPARE(strip->findChildren<UploadImageLabel*>().size(), i + 1);
        QTRY_VERIFY(strip->findChildren<UploadImageLabel*>().value(i)->isVisible());
    }
    QSignalSpy submitted(m_dialog.data(), &ZorConsultDialog::SigSubmitSuccess);
    NotificationRecorder uploads({101});

    submit();
    QTRY_COMPARE_WITH_TIMEOUT(uploads.count(101), 3, kWaitMs);
    QTRY_COMPARE(failedToasts(), QStringList{"Image upload failed"});
    QCOMPARE(m_proxy.requestCount(kSubmitPath), 0);

    // Only the image that failed goes up again; the record carries all three.
    submit();
    QTRY_COMPARE_WITH_TIMEOUT(submitted.count(), 1, kWaitMs);
    QCOMPARE(m_proxy.requestCount(kUploadPath), 4);
    const QJsonArray records = m_server.records();
    QCOMPARE(records.size(), 1);
    QCOMPARE(submitted.first().at(0).toString(), records[0]["id"].toString());
    const QJsonArray files = records[0]["record"]["files"].toArray();
    QCOMPARE(files.size(), 3);
    QSet<QString> urls;
    for (const QJsonValue& file : files)
        urls.insert(file["url"].toString());
    QCOMPARE(urls.size(), 3);
    const QStringList stored = QDir(serverDir() + QStringLiteral("/data")).entryList(QDir::Files);
    QCOMPARE(stored.size(), 3);
    for (const QString& name : stored)
        QVERIFY(urls.contains(m_server.baseUrl() + "/images/" + name));
}

QTEST_MAIN(TestResubmitFlow)
#include "tst_resubmitflow.moc"
