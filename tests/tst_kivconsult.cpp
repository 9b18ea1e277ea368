// The module facade as a host uses it, against a gateway the test drives: prefetching
// categories, full and fixed-category showings, reused and new dialogs, the release.

#include "ConsultDescEntity.h"
#include "ConsultTestUtil.h"
#include "DialogTestKit.h"
#include "KivConsult.h"
#include "ManualGateway.h"
#include "TestMessageHandler.h"
#include "ZorCategoryComBox.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"

#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

using namespace DialogTestKit;

namespace {

const QString kCategoryApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.getBusinessType");
const QByteArray kServiceCategories =
    R"([{"businessTypeCode": "10", "businessTypeName": "Printing", "children": []}])";

ZorConsultDialog* dialogOf(QWidget* parent)
{
    const auto dialogs = parent->findChildren<ZorConsultDialog*>();
    return dialogs.size() == 1 ? dialogs.first() : nullptr;
}

} // namespace

class TestKivConsult : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void categorySources_data();
    void categorySources();
    void secondShowing_data();
    void secondShowing();
    void release_data();
    void release();

private:
    // Fills the form with the fixed list's category, presses Submit and lets the service
    // accept it under feedbackId.
    void submit(ZorConsultDialog* dialog, const QByteArray& feedbackId);

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
}

void TestKivConsult::submit(ZorConsultDialog* dialog, const QByteArray& feedbackId)
{
    const QPointer<ZorConsultDialog> watched(dialog);
    dialog->findChild<ZorCategoryComBox*>(QStringLiteral("typeEdit"))
        ->SetCurrentId(QStringLiteral("1907"), QStringLiteral("1908"));
    dialog->findChild<QTextEdit*>(QStringLiteral("textEdit"))->setPlainText(QStringLiteral("x"));
    dialog->findChild<QLineEdit*>(QStringLiteral("phoneEdit"))
        ->setText(QStringLiteral("13812345678"));
    dialog->findChild<QPushButton*>(QStringLiteral("submitButton"))->click();
    m_gateway->reply(m_gateway->calls.size() - 1,
                     ConsultTestUtil::successEnvelope('"' + feedbackId + '"'));
    QTRY_VERIFY(watched.isNull());
}

void TestKivConsult::categorySources_data()
{
    QTest::addColumn<bool>("serviceFirst"); // the service's categories cached before
    QTest::addColumn<int>("type");          // the showing's source type
    QTest::addColumn<QStringList>("picker");
    QTest::addColumn<bool>("fixed");
    // Queries sent in all, with a prefetch after the showing that must skip a filled cache.
    QTest::addColumn<int>("queries");

    const QStringList service{"10()"};
    QTest::newRow("0 asks the service") << false << 0 << QStringList() << false << 1;
    QTest::newRow("1") << false << 1 << QStringList{"1907(1908)"} << true << 0;
    QTest::newRow("2") << false << 2 << QStringList{"1907(1914)"} << true << 0;
    QTest::newRow("3 loads nothing") << false << 3 << QStringList() << true << 1;
    QTest::newRow("1 after the service's") << true << 1 << service << true << 1;
    QTest::newRow("0 after the service's") << true << 0 << service << false << 1;
}

void TestKivConsult::categorySources()
{
    QFETCH(bool, serviceFirst);
    QFETCH(int, type);
    QFETCH(QStringList, picker);
    QFETCH(bool, fixed);
    QFETCH(int, queries);

    KivConsult* facade = KivConsult::Instance();
    if (serviceFirst) {
        facade->RequestBusinessType();
        m_gateway->reply(0, ConsultTestUtil::successEnvelope(kServiceCategories));
        QTRY_COMPARE(m_gateway->completed, 1);
    }
    facade->ShowFeedbackDlg(m_parent, KivConsult::ConsultSourceType(type), QString());

    ZorConsultDialog* dialog = dialogOf(m_parent);
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(pickerCodes(dialog), picker);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("typeEdit"))->isHidden(), fixed);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("recordButton"))->isHidden(), fixed);

    facade->RequestBusinessType();
    QCOMPARE(m_gateway->callsTo(kCategoryApi).size(), queries);
}

void TestKivConsult::secondShowing_data()
{
    QTest::addColumn<bool>("closeFirst");

    QTest::newRow("while the first is open") << false;
    QTest::newRow("after the first closed") << true;
}

void TestKivConsult::secondShowing()
{
    QFETCH(bool, closeFirst);

    KivConsult* facade = KivConsult::Instance();
    QSignalSpy submitted(facade, &KivConsult::SigSubmitSuccess);
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceLoginProblem, QStringLiteral("old 1.0"));
    const QPointer<ZorConsultDialog> first(dialogOf(m_parent));
    QVERIFY(first);
    if (closeFirst) {
        first->findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
        QTRY_VERIFY(first.isNull());
    }
    QWidget otherParent;
    facade->ShowFeedbackDlg(&otherParent, KivConsult::SourceDefault, QStringLiteral("new 2.0"));

    // An open dialog is reused as it is, still without the category row; a closed one is
    // replaced by a full-mode dialog under the new parent, though the cache holds the fixed list.
    ZorConsultDialog* dialog = dialogOf(closeFirst ? &otherParent : m_parent);
    QVERIFY(dialog);
    QCOMPARE(otherParent.findChildren<ZorConsultDialog*>().size(), closeFirst ? 1 : 0);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("typeEdit"))->isHidden(), !closeFirst);
    QCOMPARE(pickerCodes(dialog), QStringList{"1907(1908)"});

    // The record carries the latest browser version; the host hears of it once, not once
    // more for a closed dialog.
    submit(dialog, "FB-7");
    const auto records = sentRecords(*m_gateway);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first()->GetBrowserVersion(), QStringLiteral("new 2.0"));
    QCOMPARE(submitted.count(), 1);
    QCOMPARE(submitted.first().at(0).toString(), QStringLiteral("FB-7"));
}

void TestKivConsult::release_data()
{
    QTest::addColumn<bool>("deleted"); // the host deletes the facade instead of releasing it

    QTest::newRow("released") << false;
    QTest::newRow("deleted") << true;
}

void TestKivConsult::release()
{
    QFETCH(bool, deleted);

    KivConsult* facade = KivConsult::Instance();
    facade->ShowFeedbackDlg(m_parent, KivConsult::SourceLoginProblem, QString());
    const QPointer<ZorConsultDialog> dialog(dialogOf(m_parent));
    QVERIFY(ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeCount() > 0);

    QPointer<KivConsult> watched(facade);
    if (deleted)
        delete facade;
    else
        KivConsult::ReleaseInstance();
    QVERIFY(watched.isNull());
    // Nothing dangles: a second release finds no facade to delete.
    KivConsult::ReleaseInstance();
    // The dialog belongs to its parent, not to the facade.
    QVERIFY(dialog);

    // A new facade starts with a new logic, whose cache is empty.
    KivConsult::Instance();
    QCOMPARE(ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeCount(), 0);
    delete dialog;
}

QTEST_MAIN(TestKivConsult)
#include "tst_kivconsult.moc"
