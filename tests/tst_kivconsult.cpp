// The module facade as a host uses it: prefetching categories, showing the dialog in full
// and fixed-category mode, reusing and recreating the dialog, the relayed signals and the
// singleton's release. Requests go to a gateway the test drives.

#include "ConsultConfig.h"
#include "ConsultDescEntity.h"
#include "ConsultTestUtil.h"
#include "DialogTestKit.h"
#include "KivConsult.h"
#include "ManualGateway.h"
#include "TestMessageHandler.h"
#include "ZorCategoryComBox.h"
#include "ZorConfigManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QUrl>

using namespace DialogTestKit;

namespace {

const QString kCategoryApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QByteArray kServiceCategories = R"([
  {"businessTypeCode": "10", "businessTypeName": "Cash register", "children": [
    {"businessTypeCode": "101", "businessTypeName": "Printing"}]},
  {"businessTypeCode": "20", "businessTypeName": "Orders", "children": []}
])";

bool isFixedMode(ZorConsultDialog* dialog)
{
    return dialog->findChild<QWidget*>(QStringLiteral("typeEdit"))->isHidden();
}

} // namespace

class TestKivConsult : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void metaObject();
    void oneQueryForTwoShowings();
    void categorySources_data();
    void categorySources();
    void reuseOpenDialog();
    void newDialogAfterClose();
    void requestBusinessType_data();
    void requestBusinessType();
    void releaseInstance();
    void recordUrl_data();
    void recordUrl();

private:
    ZorConsultDialog* dialogOf(QWidget* parent) const;
    // Fills the form with the fixed list's category and presses Submit.
    void fillAndSubmit(ZorConsultDialog* dialog);

    HostSandbox m_sandbox;
    ManualGateway* m_gateway = nullptr;
    QWidget* m_parent = nullptr;
};

void TestKivConsult::initTestCase()
{
    TestMessageHandler::install();
    // The offscreen platform cannot raise windows or pass size hints on; that is no fault.
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    QVERIFY(m_sandbox.setUp());
}

void TestKivConsult::init()
{
    m_gateway = new ManualGateway;
    IHttpManager::SetInstance(m_gateway);
    m_parent = new QWidget;
}

void TestKivConsult::cleanup()
{
    KivConsult::ReleaseInstance();
    delete m_parent;
    QVERIFY(visibleWindows().isEmpty());
    IHttpManager::SetInstance(nullptr);
    delete m_gateway;
    m_gateway = nullptr;
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("common"),
                                              QStringLiteral("feedback_record_url"));
}

ZorConsultDialog* TestKivConsult::dialogOf(QWidget* parent) const
{
    const auto dialogs = parent->findChildren<ZorConsultDialog*>();
    return dialogs.size() == 1 ? dialogs.first() : nullptr;
}

void TestKivConsult::fillAndSubmit(ZorConsultDialog* dialog)
{
    auto* picker = dialog->findChild<ZorCategoryComBox*>(QStringLiteral("typeEdit"));
    picker->SetCurrentId(QStringLiteral("1907"), QStringLiteral("1908"));
    dialog->findChild<QTextEdit*>(QStringLiteral("textEdit"))->setPlainText(QStringLiteral("x"));
    dialog->findChild<QLineEdit*>(QStringLiteral("phoneEdit"))
        ->setText(QStringLiteral("13812345678"));
    dialog->findChild<QPushButton*>(QStringLiteral("submitButton"))->click();
}

void TestKivConsult::metaObject()
{
    // What a host built against the exported class relies on.
    const QMetaObject& meta = KivConsult::staticMetaObject;
    QCOMPARE(QByteArray(meta.className()), QByteArray("KivConsult"));
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 3);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    QCOMPARE(meta.enumeratorCount(), meta.enumeratorOffset());
    QCOMPARE(meta.classInfoCount(), meta.classInfoOffset());

    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        methods << QStringLiteral("%1 %2 %3 %4")
                       .arg(method.methodType() == QMetaMethod::Signal ? "signal" : "slot",
                            method.access() == QMetaMethod::Public ? "public" : "private",
                            QString::fromLatin1(method.methodSignature()),
                            QString::fromLatin1(method.parameterNames().join(',')));
    }
    QCOMPARE(methods, (QStringList{"signal public SigOpenRecordUrl(QString) strUrl",
                                   "signal public SigSubmitSuccess(QString) feedbackId",
                                   "slot private SlotOpenRecordUrl() "}));
}

void TestKivConsult::oneQueryForTwoShowings()
{
    KivConsult* facade = KivConsult::Instance();
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceDefault, QStringLiteral("v1"));
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceDefault, QStringLiteral("v1"));
    QCOMPARE(m_gateway->callsTo(kCategoryApi).size(), 1);

    ZorConsultDialog* dialog = dialogOf(m_parent);
    QVERIFY(dialog);
    QVERIFY(pickerCodes(dialog).isEmpty());
    // The dialog is filled when the query ends.
    m_gateway->reply(0, ConsultTestUtil::successEnvelope(kServiceCategories));
    QTRY_COMPARE(pickerCodes(dialog), (QStringList{"10(101)", "20()"}));
    QVERIFY(!isFixedMode(dialog));

    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceDefault, QStringLiteral("v1"));
    QCOMPARE(m_gateway->calls.size(), 1);
}

void TestKivConsult::categorySources_data()
{
    QTest::addColumn<bool>("serviceFirst"); // the service's categories cached before
    QTest::addColumn<QList<int>>("types");  // source types of the showings, in order
    QTest::addColumn<QStringList>("picker");
    QTest::addColumn<bool>("fixed");

    const QStringList service{"10(101)", "20()"};
    QTest::newRow("0") << false << QList<int>{0} << QStringList() << false;
    QTest::newRow("1") << false << QList<int>{1} << QStringList{"1907(1908)"} << true;
    QTest::newRow("2") << false << QList<int>{2} << QStringList{"1907(1914)"} << true;
    QTest::newRow("3 loads nothing") << false << QList<int>{3} << QStringList() << true;
    QTest::newRow("1 after the service's") << true << QList<int>{1} << service << true;
    QTest::newRow("0 after the fixed list")
        << false << QList<int>{1, 0} << QStringList{"1907(1908)"} << true;
    QTest::newRow("2 after 1") << false << QList<int>{1, 2} << QStringList{"1907(1908)"} << true;
    QTest::newRow("0 after the service's") << true << QList<int>{0} << service << false;
}

void TestKivConsult::categorySources()
{
    QFETCH(bool, serviceFirst);
    QFETCH(QList<int>, types);
    QFETCH(QStringList, picker);
    QFETCH(bool, fixed);

    KivConsult* facade = KivConsult::Instance();
    int queries = 0;
    if (serviceFirst) {
        facade->RequestBusinessType();
        m_gateway->reply(0, ConsultTestUtil::successEnvelope(kServiceCategories));
        QTRY_COMPARE(m_gateway->completed, 1);
        queries = 1;
    }
    for (int type : types)
        facade->ShowFeedbackDlg(m_parent, KivConsult::ConsultSourceType(type), QString());
    // Only source type 0 with nothing cached asks the service.
    if (!serviceFirst && types.first() == 0)
        ++queries;
    QCOMPARE(m_gateway->callsTo(kCategoryApi).size(), queries);

    ZorConsultDialog* dialog = dialogOf(m_parent);
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(pickerCodes(dialog), picker);
    QCOMPARE(isFixedMode(dialog), fixed);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("recordButton"))->isHidden(), fixed);
}

void TestKivConsult::reuseOpenDialog()
{
    KivConsult* facade = KivConsult::Instance();
    QSignalSpy submitted(facade, &KivConsult::SigSubmitSuccess);
    QWidget otherParent;
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceLoginProblem, QStringLiteral("old 1.0"));
    ZorConsultDialog* dialog = dialogOf(m_parent);
    QVERIFY(dialog);
    facade->ShowFeedbackDlg(&otherParent, KivConsult::SourceDefault, QStringLiteral("new 2.0"));

    // The open dialog is reused as it is: same parent, still without the category row.
    QCOMPARE(dialogOf(m_parent), dialog);
    QVERIFY(otherParent.findChildren<ZorConsultDialog*>().isEmpty());
    QVERIFY(isFixedMode(dialog));
    QVERIFY(dialog->isVisible());

    auto* picker = dialog->findChild<ZorCategoryComBox*>(QStringLiteral("typeEdit"));
    QCOMPARE(picker->GetFirstLevelId().toString(), QStringLiteral("1907"));
    fillAndSubmit(dialog);
    const auto records = sentRecords(*m_gateway);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first()->GetBrowserVersion(), QStringLiteral("new 2.0"));

    const QPointer<ZorConsultDialog> watched(dialog);
    m_gateway->reply(m_gateway->calls.size() - 1, ConsultTestUtil::successEnvelope("\"FB-7\""));
    QTRY_VERIFY(watched.isNull());
    QCOMPARE(submitted.count(), 1);
    QCOMPARE(submitted.first().at(0).toString(), QStringLiteral("FB-7"));
}

void TestKivConsult::newDialogAfterClose()
{
    KivConsult* facade = KivConsult::Instance();
    QSignalSpy submitted(facade, &KivConsult::SigSubmitSuccess);
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceLoginProblem, QString());
    const QPointer<ZorConsultDialog> first(dialogOf(m_parent));
    QVERIFY(first);
    first->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    QTRY_VERIFY(first.isNull());

    QWidget otherParent;
    facade->ShowFeedbackDlg(&otherParent, KivConsult::SourceDefault, QString());
    ZorConsultDialog* second = dialogOf(&otherParent);
    QVERIFY(second);
    QVERIFY(second->isVisible());
    // A new dialog: full mode, although the cache still holds the fixed list.
    QVERIFY(!isFixedMode(second));
    QCOMPARE(pickerCodes(second), QStringList{"1907(1908)"});

    // Its signals reach the host once each.
    const QPointer<ZorConsultDialog> watched(second);
    fillAndSubmit(second);
    m_gateway->reply(m_gateway->calls.size() - 1, ConsultTestUtil::successEnvelope("\"FB-8\""));
    QTRY_VERIFY(watched.isNull());
    QCOMPARE(submitted.count(), 1);
}

void TestKivConsult::requestBusinessType_data()
{
    QTest::addColumn<int>("cachedFrom"); // -1 nothing cached, else the source type shown first
    QTest::addColumn<int>("queries");

    QTest::newRow("empty cache") << -1 << 1;
    QTest::newRow("fixed list cached") << 1 << 0;
    QTest::newRow("nothing loaded by type 3") << 3 << 1;
}

void TestKivConsult::requestBusinessType()
{
    QFETCH(int, cachedFrom);
    QFETCH(int, queries);

    KivConsult* facade = KivConsult::Instance();
    if (cachedFrom >= 0)
        facade->ShowFeedbackDlg(m_parent, KivConsult::ConsultSourceType(cachedFrom), QString());
    facade->RequestBusinessType();
    facade->RequestBusinessType();
    QCOMPARE(m_gateway->callsTo(kCategoryApi).size(), queries);
}

void TestKivConsult::releaseInstance()
{
    KivConsult* facade = KivConsult::Instance();
    QCOMPARE(KivConsult::Instance(), facade);
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceLoginProblem, QString());
    const QPointer<ZorConsultDialog> dialog(dialogOf(m_parent));
    QVERIFY(ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeCount() > 0);

    QPointer<KivConsult> watched(facade);
    KivConsult::ReleaseInstance();
    QVERIFY(watched.isNull());
    KivConsult::ReleaseInstance();
    // The dialog belongs to its parent, not to the facade.
    QVERIFY(dialog);

    // A new facade starts with a new logic, whose cache is empty.
    QVERIFY(KivConsult::Instance());
    QCOMPARE(ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeCount(), 0);
    delete dialog;
}

void TestKivConsult::recordUrl_data()
{
    QTest::addColumn<QString>("configured"); // empty: not set

    QTest::newRow("configured") << "http://127.0.0.1:8080/app/advisory/AdvisoryList?vender=7";
    QTest::newRow("default") << "";
}

void TestKivConsult::recordUrl()
{
    QFETCH(QString, configured);

    if (!configured.isEmpty()) {
        ZorConfigManager::Instance()->SetValue(QStringLiteral("common"),
                                               QStringLiteral("feedback_record_url"), configured);
    }
    KivConsult* facade = KivConsult::Instance();
    QSignalSpy opened(facade, &KivConsult::SigOpenRecordUrl);
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceDefault, QString());
    dialogOf(m_parent)->findChild<QPushButton*>(QStringLiteral("recordButton"))->click();

    QCOMPARE(opened.count(), 1);
    const QString url = opened.first().at(0).toString();
    if (!configured.isEmpty()) {
        QCOMPARE(url, configured);
    } else {
        QCOMPARE(QUrl(url).scheme(), QStringLiteral("https"));
        QCOMPARE(QUrl(url).path(), QStringLiteral("/app/advisory/AdvisoryList"));
    }
}

QTEST_MAIN(TestKivConsult)
#include "tst_kivconsult.moc"
