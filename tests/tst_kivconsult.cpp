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

    void showing_data();
    void showing();
    void secondShowing_data();
    void secondShowing();

private:
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

void TestKivConsult::showing_data()
{
    QTest::addColumn<bool>("serviceFirst"); // the service's categories cached before
    QTest::addColumn<int>("type");          // the showing's source type; 0 is the full form
    QTest::addColumn<QStringList>("picker");
    // Queries sent in all, with a prefetch after the showing that must skip a filled cache.
    QTest::addColumn<int>("queries");
    QTest::addColumn<QString>("then"); // the facade is released, or the host deletes it

    const QStringList service{"10()"};
    QTest::newRow("0 asks the service") << false << 0 << QStringList() << 1 << "";
    QTest::newRow("1, then released") << false << 1 << QStringList{"1907(1908)"} << 0 << "release";
    QTest::newRow("2, then deleted") << false << 2 << QStringList{"1907(1914)"} << 0 << "delete";
    QTest::newRow("3 loads nothing") << false << 3 << QStringList() << 1 << "";
    QTest::newRow("1 after the service's") << true << 1 << service << 1 << "";
    QTest::newRow("0 after the service's") << true << 0 << service << 1 << "";
}

void TestKivConsult::showing()
{
    QFETCH(bool, serviceFirst);
    QFETCH(int, type);
    QFETCH(QStringList, picker);
    QFETCH(int, queries);
    QFETCH(QString, then);

    const QPointer<KivConsult> facade(KivConsult::Instance());
    if (serviceFirst) {
        facade->RequestBusinessType();
        m_gateway->reply(0, ConsultTestUtil::successEnvelope(kServiceCategories));
        QTRY_COMPARE(m_gateway->completed, 1);
    }
    facade->ShowFeedbackDlg(m_parent, KivConsult::ConsultSourceType(type), QString());

    const QPointer<ZorConsultDialog> dialog(dialogOf(m_parent));
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(pickerCodes(dialog), picker);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("typeEdit"))->isHidden(), type != 0);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("recordButton"))->isHidden(), type != 0);

    facade->RequestBusinessType();
    QCOMPARE(m_gateway->callsTo(kCategoryApi).size(), queries);
    if (then.isEmpty())
        return;

    if (then == QLatin1String("delete"))
        delete facade.data();
    else
        KivConsult::ReleaseInstance();
    QVERIFY(facade.isNull());
    // Nothing dangles: a second release finds no facade to delete.
    KivConsult::ReleaseInstance();
    // The dialog belongs to its parent, not to the facade.
    QVERIFY(dialog);
    // A new facade starts with a new logic, whose cache is empty.
    KivConsult::Instance();
    QCOMPARE(ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeCount(), 0);
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
    const QPointer<ZorConsultDialog> dialog(dialogOf(closeFirst ? &otherParent : m_parent));
    QVERIFY(dialog);
    QCOMPARE(otherParent.findChildren<ZorConsultDialog*>().size(), closeFirst ? 1 : 0);
    QCOMPARE(dialog->findChild<QWidget*>(QStringLiteral("typeEdit"))->isHidden(), !closeFirst);
    QCOMPARE(pickerCodes(dialog), QStringList{"1907(1908)"});

    // The record carries the latest browser version; the host hears of it once, not once
    // more for a closed dialog.
    dialog->findChild<ZorCategoryComBox*>(QStringLiteral("typeEdit"))
        ->SetCurrentId(QStringLiteral("1907"), QStringLiteral("1908"));
    dialog->findChild<QTextEdit*>(QStringLiteral("textEdit"))->setPlainText(QStringLiteral("x"));
    dialog->findChild<QLineEdit*>(QStringLiteral("phoneEdit"))
        ->setText(QStringLiteral("13812345678"));
    dialog->findChild<QPushButton*>(QStringLiteral("submitButton"))->click();
    m_gateway->reply(m_gateway->calls.size() - 1, ConsultTestUtil::successEnvelope("\"FB-7\""));
    QTRY_VERIFY(dialog.isNull());
    const auto records = sentRecords(*m_gateway);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first()->GetBrowserVersion(), QStringLiteral("new 2.0"));
    QCOMPARE(submitted.count(), 1);
    QCOMPARE(submitted.first().at(0).toString(), QStringLiteral("FB-7"));
}

QTEST_MAIN(TestKivConsult)
#include "tst_kivconsult.moc"
