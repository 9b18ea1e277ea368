// The feedback dialog from the keyboard alone, as the host opens it: where the focus starts,
// the Tab order both ways, Ctrl+Enter and Esc, what assistive technology is told about each
// field, and a whole feedback entered with keys only (the file dialog, Qt's own, answered by
// the test).

#include "ConsultDescEntity.h"
#include "ConsultImageEntity.h"
#include "ConsultTestUtil.h"
#include "DialogTestKit.h"
#include "KivConsult.h"
#include "ManualGateway.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorCategoryComBox.h"
#include "ZorConfigManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>

using namespace DialogTestKit;

namespace {

const QByteArray kCategories = R"([
  {"businessTypeCode": "10", "businessTypeName": "Cash register", "children": [
    {"businessTypeCode": "101", "businessTypeName": "Printing"},
    {"businessTypeCode": "102", "businessTypeName": "Scanning"}]},
  {"businessTypeCode": "20", "businessTypeName": "Orders"}])";

// The focus widget's object name; a thumbnail's delete button is told apart by the place of
// its thumbnail in the strip ("imgDelBtn1" is the second).
QString FocusName()
{
    QWidget* focus = QApplication::focusWidget();
    if (!focus)
        return QStringLiteral("(none)");
    if (auto* label = qobject_cast<UploadImageLabel*>(focus->parentWidget())) {
        const int place = label->parentWidget()->layout()->indexOf(label);
        // A delete button that has the focus but does not show is no use to anyone.
        return focus->objectName() + QString::number(place) +
               (focus->isVisible() ? QString() : QStringLiteral(" (hidden)"));
    }
    return focus->objectName();
}

// Presses the key on whatever has the focus, count times, and lists where the focus went.
QStringList Press(int count, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QStringList path;
    for (int i = 0; i < count; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
        path << FocusName();
    }
    return path;
}

} // namespace

class TestKeyboardFlow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void tabOrder_data();
    void tabOrder();
    void deleteByKeyboard();
    void ctrlEnterSubmits_data();
    void ctrlEnterSubmits();
    void accessibility_data();
    void accessibility();
    void wholeFeedbackByKeys();

private:
    // Opens the dialog through the facade, as the host does, and waits until it has the focus.
    bool open(KivConsult::ConsultSourceType type = KivConsult::SourceDefault);
    bool attachPictures(int count);
    template<typename T>
    T* child(const char* name) const
    {
        return m_dialog->findChild<T*>(QLatin1String(name));
    }

    HostSandbox m_sandbox;
    QScopedPointer<ManualGateway> m_gateway;
    QScopedPointer<QWidget> m_host;
    QPointer<ZorConsultDialog> m_dialog;
};

void TestKeyboardFlow::initTestCase()
{
    TestMessageHandler::install();
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    QVERIFY(m_sandbox.setUp());
}

void TestKeyboardFlow::init()
{
    m_gateway.reset(new ManualGateway);
    IHttpManager::SetInstance(m_gateway.data());
    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(kCategories));
    m_host.reset(new QWidget);
}

void TestKeyboardFlow::cleanup()
{
    KivConsult::ReleaseInstance();
    m_host.reset();
    QVERIFY(visibleWindows().isEmpty());
    IHttpManager::SetInstance(nullptr);
    ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
}

bool TestKeyboardFlow::open(KivConsult::ConsultSourceType type)
{
    KivConsult::Instance()->ShowFeedbackDlg(m_host.data(), type, QStringLiteral("Chrome 120.0"));
    m_dialog = m_host->findChild<ZorConsultDialog*>();
    return m_dialog && QTest::qWaitForWindowActive(m_dialog);
}

bool TestKeyboardFlow::attachPictures(int count)
{
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    for (int i = 0; i < count; ++i) {
        strip->AddImage(
            false, savePicture(m_sandbox.path(QStringLiteral("%1.png").arg(i)), QSize(40, 30)));
        if (!QTest::qWaitFor([strip, i]() {
                const auto labels = strip->findChildren<UploadImageLabel*>();
                return labels.size() > i && labels.at(i)->isVisible();
            }))
            return false;
    }
    return true;
}

void TestKeyboardFlow::tabOrder_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("images");
    // From the first focus on, once round.
    QTest::addColumn<QStringList>("order");

    const QStringList tail{"phoneEdit", "recordButton", "submitButton", "cancelButton"};
    const QStringList head{"typeEdit", "textEdit", "uploadWidget", "captureWidget"};
    QTest::newRow("full form") << int(KivConsult::SourceDefault) << 0 << head + tail;
    QTest::newRow("two thumbnails") << int(KivConsult::SourceDefault) << 2
                                    << head + QStringList{"imgDelBtn0", "imgDelBtn1"} + tail;
    QTest::newRow("fixed category")
        << int(KivConsult::SourceLoginProblem) << 1
        << QStringList{"textEdit",  "uploadWidget", "captureWidget", "imgDelBtn0",
                       "phoneEdit", "submitButton", "cancelButton"};
}

void TestKeyboardFlow::tabOrder()
{
    QFETCH(int, type);
    QFETCH(int, images);
    QFETCH(QStringList, order);

    QVERIFY(open(KivConsult::ConsultSourceType(type)));
    QVERIFY(attachPictures(images));
    QCOMPARE(FocusName(), order.first());

    // Round once and back to the start, then the other way.
    const QStringList forward = order.mid(1) + order.mid(0, 1);
    QCOMPARE(Press(order.size(), Qt::Key_Tab), forward);
    QStringList backward = order;
    std::reverse(backward.begin(), backward.end());
    QCOMPARE(Press(order.size(), Qt::Key_Tab, Qt::ShiftModifier), backward);
    // A delete button that lost the focus hides again under no cursor.
    for (auto* button : m_dialog->findChildren<QPushButton*>(QStringLiteral("imgDelBtn")))
        QVERIFY(!button->isVisible());

    // Esc closes from inside a field, too.
    child<QTextEdit>("textEdit")->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QTRY_VERIFY(m_dialog.isNull());
}

void TestKeyboardFlow::deleteByKeyboard()
{
    QVERIFY(open());
    QVERIFY(attachPictures(2));
    QCOMPARE(Press(4, Qt::Key_Tab).last(), QStringLiteral("imgDelBtn0"));
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    const auto shown = [strip]() {
        int count = 0;
        for (const auto* label : strip->findChildren<UploadImageLabel*>())
            count += label->isVisible();
        return count;
    };

    // The focus passes to what comes next: the following thumbnail's delete button, then,
    // with none left, the telephone number.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(shown(), 1);
    QCOMPARE(FocusName(), QStringLiteral("imgDelBtn0"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QCOMPARE(shown(), 0);
    QCOMPARE(FocusName(), QStringLiteral("phoneEdit"));
}

void TestKeyboardFlow::ctrlEnterSubmits_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("key");
    for (const char* field : {"typeEdit", "textEdit", "uploadWidget", "phoneEdit"})
        QTest::newRow(field) << field << int(Qt::Key_Return);
    QTest::newRow("textEdit, keypad Enter") << "textEdit" << int(Qt::Key_Enter);
}

void TestKeyboardFlow::ctrlEnterSubmits()
{
    QFETCH(QString, field);
    QFETCH(int, key);

    QVERIFY(open());
    m_dialog->findChild<ZorCategoryComBox*>()->SetCurrentId(QStringLiteral("20"), QVariant());
    child<QTextEdit>("textEdit")->setPlainText(QStringLiteral("Refund missing"));
    child<QLineEdit>("phoneEdit")->setText(QStringLiteral("13812345678"));
    QString fileDialog; // where a file dialog opened; none should
    QObject watch;
    answerFileDialog(&watch, &fileDialog, QString());

    QWidget* widget = m_dialog->findChild<QWidget*>(field);
    widget->setFocus();
    QTest::keyClick(widget, Qt::Key(key), Qt::ControlModifier);
    const auto sent = sentRecords(*m_gateway);
    QCOMPARE(sent.size(), 1);
    // The field did not take the key for itself.
    QCOMPARE(sent.first()->GetQuestionDesc(), QStringLiteral("Refund missing"));
    QCOMPARE(child<QTextEdit>("textEdit")->toPlainText(), QStringLiteral("Refund missing"));
    QVERIFY(fileDialog.isEmpty());
}

void TestKeyboardFlow::accessibility_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("label"); // the label that names it; empty: none
    QTest::addColumn<QString>("value"); // empty: not checked

    QTest::newRow("category picker")
        << "typeEdit" << int(QAccessible::ComboBox) << "Problem categroy"
        << "typeLabel"
        << "Cash register / Scanning";
    QTest::newRow("description") << "textEdit" << int(QAccessible::EditableText)
                                 << "Problem description"
                                 << "detailLabel"
                                 << "";
    QTest::newRow("telephone") << "phoneEdit" << int(QAccessible::EditableText)
                               << "Telephone number"
                               << "phoneLabel"
                               << "";
    QTest::newRow("upload") << "uploadWidget" << int(QAccessible::Button) << "Upload"
                            << "uploadLabel"
                            << "";
    QTest::newRow("capture") << "captureWidget" << int(QAccessible::Button) << "Capture"
                             << ""
                             << "";
    QTest::newRow("delete image") << "imgDelBtn" << int(QAccessible::Button) << "Delete image"
                                  << ""
                                  << "";
}

void TestKeyboardFlow::accessibility()
{
    QFETCH(QString, object);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, label);
    QFETCH(QString, value);

    QVERIFY(open());
    QVERIFY(attachPictures(1));
    m_dialog->findChild<ZorCategoryComBox*>()->SetCurrentId(QStringLiteral("10"),
                                                            QStringLiteral("102"));
    QWidget* widget = m_dialog->findChild<QWidget*>(object);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    if (!value.isEmpty())
        QCOMPARE(iface->text(QAccessible::Value), value);

    QStringList labels;
    for (const auto& relation : iface->relations(QAccessible::Label))
        labels << relation.first->object()->objectName();
    QCOMPARE(labels.join(','), label);
}

void TestKeyboardFlow::wholeFeedbackByKeys()
{
    LocalUploadServer server;
    QVERIFY(server.start());
    ZorConfigManager::Instance()->SetValue("image", "upload_url", server.uploadUrl());
    const QString picture =
        savePicture(m_sandbox.path(QStringLiteral("receipt.png")), QSize(60, 40));
    QSignalSpy submitted(KivConsult::Instance(), &KivConsult::SigSubmitSuccess);

    QVERIFY(open());
    QCOMPARE(FocusName(), QStringLiteral("typeEdit"));
    // The list opens on Down; Right goes to the second level, Down to its second entry.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTRY_COMPARE(FocusName(), QStringLiteral("firstLevelList"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Right);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QTRY_COMPARE(FocusName(), QStringLiteral("typeEdit"));

    QCOMPARE(Press(1, Qt::Key_Tab), QStringList{"textEdit"});
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("Scanner does not start"));
    QCOMPARE(Press(1, Qt::Key_Tab), QStringList{"uploadWidget"});
    QString fileDialog;
    QObject watch;
    answerFileDialog(&watch, &fileDialog, picture);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(!fileDialog.isEmpty());
    QTRY_VERIFY(m_dialog->findChild<UploadImageLabel*>() &&
                m_dialog->findChild<UploadImageLabel*>()->isVisible());
    QTRY_VERIFY(m_dialog->isActiveWindow());
    QCOMPARE(FocusName(), QStringLiteral("uploadWidget"));
    QCOMPARE(Press(3, Qt::Key_Tab), (QStringList{"captureWidget", "imgDelBtn0", "phoneEdit"}));
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("13812345678"));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return, Qt::ControlModifier);

    QTRY_COMPARE(sentRecords(*m_gateway).size(), 1);
    const QSharedPointer<ConsultDescEntity> sent = sentRecords(*m_gateway).first();
    QCOMPARE(QStringLiteral("%1 %2/%3 %4/%5/%6")
                 .arg(QString::number(sent->GetStartBusinessCode1()), sent->GetStartBusinessName1(),
                      QString::number(sent->GetStartBusinessCode2()), sent->GetStartBusinessName2(),
                      sent->GetQuestionDesc(), sent->GetTelphone()),
             QStringLiteral("10 Cash register/102 Scanning/Scanner does not start/13812345678"));
    QCOMPARE(sent->GetFileList().size(), 1);
    QCOMPARE(server.uploads, 1);

    m_gateway->reply(0, ConsultTestUtil::successEnvelope("\"FB-7\""));
    QTRY_COMPARE(submitted.count(), 1);
    QCOMPARE(submitted.first().at(0).toString(), QStringLiteral("FB-7"));
    QTRY_VERIFY(m_dialog.isNull());
}

QTEST_MAIN(TestKeyboardFlow)
#include "tst_keyboardflow.moc"
