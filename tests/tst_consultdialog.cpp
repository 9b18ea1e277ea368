// The feedback dialog as a user meets it: the input checks of Submit with their toasts and
// error marks, the description limit, the telephone validator, the fixed-category mode, the
// sizes at two screen scales, and the answers of the category query and of the submission.
// Records go to a gateway the test drives; images to an image service on 127.0.0.1.

#include "ConsultBusinessTypeEntity.h"
#include "ConsultDescEntity.h"
#include "ConsultImageEntity.h"
#include "ConsultSubmitDescRequest.h"
#include "ConsultSubmitDescResponse.h"
#include "ConsultTestUtil.h"
#include "DialogTestKit.h"
#include "DpiTool.h"
#include "HttpNotifyManager.h"
#include "ImageUploadResponse.h"
#include "ManualGateway.h"
#include "MarkingTranslator.h"
#include "NotificationRecorder.h"
#include "TestMessageHandler.h"
#include "UploadImageLabel.h"
#include "UploadImageWidget.h"
#include "ZorCategoryComBox.h"
#include "ZorConfigManager.h"
#include "ZorConsultDialog.h"
#include "ZorConsultLogic.h"
#include "ZorIconButtonWidget.h"
#include "ZorToast.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QUuid>

using namespace DialogTestKit;

namespace {

const QString kBrowser = QStringLiteral("Chrome 120.0");
const QString kPhone = QStringLiteral("13812345678");

// Two levels as the picker shows them, and a third level it must leave out.
const QByteArray kCategories = R"([
  {"businessTypeCode": "10", "businessTypeName": "Cash register", "children": [
    {"businessTypeCode": "101", "businessTypeName": "Printing", "children": [
      {"businessTypeCode": "1011", "businessTypeName": "Paper"}]},
    {"businessTypeCode": "102", "businessTypeName": "Scanning"}]},
  {"businessTypeCode": "20", "businessTypeName": "Orders", "children": []}
])";
const QByteArray kOrdersOnly = R"([{"businessTypeCode": "20", "businessTypeName": "Orders"}])";

} // namespace

class TestConsultDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void textsAreTranslated();
    void submitChecks_data();
    void submitChecks();
    void descriptionLimit_data();
    void descriptionLimit();
    void phoneValidator_data();
    void phoneValidator();
    void sizes_data();
    void sizes();
    void imageButtonsDisabledAtMaximum();
    void categoryNotification_data();
    void categoryNotification();
    void recordContents_data();
    void recordContents();
    void submissionReply_data();
    void submissionReply();
    void strayUploadResults_data();
    void strayUploadResults();
    void uploadRound_data();
    void uploadRound();

private:
    ZorConsultDialog* openDialog(bool bFixed = false);
    template<typename T>
    T* child(const char* name) const
    {
        return m_dialog->findChild<T*>(QString::fromLatin1(name));
    }
    void choose(const QString& first, const QString& second);
    void fillForm();
    // Waits until every thumbnail the strip was given has loaded.
    bool attachPictures(int count);
    // The toasts shown so far, as "<kind> on <dialog|screen>: <text>".
    QStringList toasts() const;

    HostSandbox m_sandbox;
    ManualGateway* m_gateway = nullptr;
    QSignalSpy* m_toasts = nullptr;
    QPointer<ZorConsultDialog> m_dialog;
};

void TestConsultDialog::initTestCase()
{
    TestMessageHandler::install();
    // The offscreen platform cannot raise windows or pass size hints on; that is no fault.
    TestMessageHandler::allow(QRegularExpression(QStringLiteral("^This plugin does not support")));
    QVERIFY(m_sandbox.setUp());
}

void TestConsultDialog::init()
{
    DpiTool::SetScaleFactor(1.0);
    ZorConsultLogic::ReleaseInstance();
    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(kCategories));
    m_gateway = new ManualGateway;
    IHttpManager::SetInstance(m_gateway);
    m_toasts = new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown);
}

void TestConsultDialog::cleanup()
{
    delete m_dialog;
    QVERIFY(visibleWindows().isEmpty());
    delete m_toasts;
    m_toasts = nullptr;
    IHttpManager::SetInstance(nullptr);
    delete m_gateway;
    m_gateway = nullptr;
    ZorConsultLogic::ReleaseInstance();
    DpiTool::SetScaleFactor(1.0);
}

ZorConsultDialog* TestConsultDialog::openDialog(bool bFixed)
{
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->SetBrowserVersion(kBrowser);
    if (bFixed)
        m_dialog->SetFixedTypeMode();
    m_dialog->InitData();
    m_dialog->show();
    return m_dialog;
}

void TestConsultDialog::choose(const QString& first, const QString& second)
{
    child<ZorCategoryComBox>("typeEdit")
        ->SetCurrentId(first, second.isEmpty() ? QVariant() : QVariant(second));
}

void TestConsultDialog::fillForm()
{
    choose(QStringLiteral("10"), QStringLiteral("101"));
    child<QTextEdit>("textEdit")->setPlainText(QStringLiteral("Printer jams"));
    child<QLineEdit>("phoneEdit")->setText(kPhone);
}

bool TestConsultDialog::attachPictures(int count)
{
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    const auto loaded = [strip]() {
        int shown = 0;
        for (UploadImageLabel* label : strip->findChildren<UploadImageLabel*>())
            shown += label->isVisible() ? 1 : 0;
        return shown;
    };
    // One at a time, as a user adds them: each loads before the next is chosen.
    for (int i = 0; i < count; ++i) {
        const QString path = savePicture(
            m_sandbox.path(QStringLiteral("pictures/%1.png")
                               .arg(QUuid::createUuid().toString(QUuid::WithoutBraces))),
            QSize(40 + i, 30));
        if (path.isEmpty())
            return false;
        strip->AddImage(false, path);
        if (!QTest::qWaitFor([&]() { return loaded() == i + 1; }))
            return false;
    }
    return true;
}

QStringList TestConsultDialog::toasts() const
{
    static const char* const kinds[] = {"success", "info", "failed"};
    QStringList shown;
    for (const QList<QVariant>& toast : *m_toasts) {
        const QWidget* parent = toast.at(2).value<QWidget*>();
        shown << QStringLiteral("%1 on %2: %3")
                     .arg(kinds[toast.at(1).toInt()],
                          !parent                     ? "screen"
                          : parent == m_dialog.data() ? "dialog"
                                                      : "other",
                          toast.at(0).toString());
    }
    return shown;
}

void TestConsultDialog::textsAreTranslated()
{
    MarkingTranslator translator("ZorConsultDialog");
    QCoreApplication::installTranslator(&translator);
    openDialog();
    child<QPushButton>("submitButton")->click();
    QCOMPARE(m_toasts->count(), 1);
    const QStringList texts{m_dialog->GetTitleText(),
                            child<QLabel>("typeLabel")->text(),
                            child<QPushButton>("submitButton")->text(),
                            child<QTextEdit>("textEdit")->placeholderText(),
                            child<QLineEdit>("phoneEdit")->placeholderText(),
                            child<ZorIconButtonWidget>("captureWidget")->GetLabelText()->text(),
                            child<QLabel>("imgtipLabel")->text(),
                            m_toasts->first().at(0).toString()};
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(texts, (QStringList{"[Problem FeedBack]", "[Problem categroy:]", "[Submit]",
                                 "[Please describe the problems you encounter in detail, so as "
                                 "to quickly locate and solve them]",
                                 "[Please enter your telephone number]", "[Capture]",
                                 "[Upload a maximum of 5 files in JPG/PNG format and the size of "
                                 "the image is within 2M]",
                                 "[Please select the type of question]"}));
}

void TestConsultDialog::submitChecks_data()
{
    QTest::addColumn<QByteArray>("cache");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QString>("first"); // empty: nothing chosen
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("toast");
    QTest::addColumn<QString>("marked"); // the field focused and marked; empty: the picker

    const auto row = [](const char* name, const QByteArray& cache, bool fixed, const char* first,
                        const char* description, const QString& phone, const char* toast,
                        const char* marked) {
        QTest::newRow(name) << cache << fixed << QString::fromLatin1(first)
                            << QString::fromLatin1(description) << phone
                            << QString::fromLatin1(toast) << QString::fromLatin1(marked);
    };
    const char* category = "Please select the type of question";
    const char* description = "Problem description is required";
    const char* wrongPhone = "Wrong cell phone number";
    row("nothing chosen", kCategories, false, "", "Paper out", kPhone, category, "");
    row("hidden picker, first category childless", kOrdersOnly, true, "", "Paper out", kPhone,
        category, "");
    row("category before description", kCategories, false, "", "", "", category, "");
    row("empty description", kCategories, false, "10", "", kPhone, description, "textEdit");
    row("description before telephone", kCategories, false, "10", "", "", description, "textEdit");
    row("empty telephone", kCategories, false, "10", "Paper out", "",
        "Cell phone number is required", "phoneEdit");
    row("ten digits", kCategories, false, "10", "Paper out", "1381234567", wrongPhone, "phoneEdit");
    row("eleven digits with a letter", kCategories, false, "10", "Paper out", "1381234567a",
        wrongPhone, "phoneEdit");
}

void TestConsultDialog::submitChecks()
{
    QFETCH(QByteArray, cache);
    QFETCH(bool, fixed);
    QFETCH(QString, first);
    QFETCH(QString, description);
    QFETCH(QString, phone);
    QFETCH(QString, toast);
    QFETCH(QString, marked);

    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(cache));
    openDialog(fixed);
    if (!first.isEmpty())
        choose(first, QString());
    child<QTextEdit>("textEdit")->setPlainText(description);
    // setText does not pass the validator, as a pasted text would not either.
    child<QLineEdit>("phoneEdit")->setText(phone);
    auto* cancel = child<QPushButton>("cancelButton");
    cancel->setFocus();
    m_toasts->clear();

    child<QPushButton>("submitButton")->click();

    QCOMPARE(toasts(), QStringList{"failed on dialog: " + toast});
    QVERIFY(m_gateway->calls.isEmpty());
    QCOMPARE(child<ZorCategoryComBox>("typeEdit")->IsErrorStyle(), marked.isEmpty());
    const QStringList errored = marked == QLatin1String("textEdit")
                                    ? QStringList{"textEdit", "countLabel"}
                                    : QStringList{marked};
    for (const char* name : {"textEdit", "countLabel", "phoneEdit"}) {
        QCOMPARE(child<QWidget>(name)->property("errored").toBool(),
                 errored.contains(QLatin1String(name)));
    }
    if (marked.isEmpty()) {
        QCOMPARE(m_dialog->focusWidget(), cancel);
        return;
    }
    QWidget* field = child<QWidget>(qPrintable(marked));
    QCOMPARE(m_dialog->focusWidget(), field);

    // The next edit of the field takes its marks away.
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("8"));
    for (const QString& name : errored)
        QVERIFY2(!child<QWidget>(qPrintable(name))->property("errored").toBool(), qPrintable(name));
}

void TestConsultDialog::descriptionLimit_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("position"); // -1: where setting the text left the cursor
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursor");

    const QString a250(250, QLatin1Char('a'));
    const QString digits300 = QStringLiteral("0123456789").repeated(30);
    const QString b145(145, QLatin1Char('b'));
    const QString a100(100, QLatin1Char('a'));
    const QString a248(248, QLatin1Char('a'));
    const QString a249(249, QLatin1Char('a'));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 code units
    const QString markup = QStringLiteral("<b>bold</b> ") + QString(300, QLatin1Char('x'));

    QTest::newRow("short text") << "" << -1 << "abc" << true << "abc" << 3;
    QTest::newRow("typing the 251st character") << a250 << 250 << "z" << true << a250 << 250;
    QTest::newRow("300 pasted into an empty text")
        << "" << -1 << digits300 << false << digits300.left(250) << 250;
    QTest::newRow("10 pasted at 100 into 245")
        << a100 + b145 << 100 << "0123456789" << false << a100 + "01234" + b145 << 105;
    QTest::newRow("whole text set at once")
        << digits300 << -1 << "" << false << digits300.left(250) << 250;
    QTest::newRow("emoji filling the last two units")
        << a248 << 248 << emoji << false << a248 + emoji << 250;
    QTest::newRow("emoji whose second half is over")
        << a249 << 249 << emoji << false << a249 << 249;
    QTest::newRow("text that looks like markup")
        << "" << -1 << markup << false << markup.left(250) << 250;
}

void TestConsultDialog::descriptionLimit()
{
    QFETCH(QString, initial);
    QFETCH(int, position);
    QFETCH(QString, inserted);
    QFETCH(bool, typed);
    QFETCH(QString, expected);
    QFETCH(int, cursor);

    openDialog();
    auto* edit = child<QTextEdit>("textEdit");
    edit->setPlainText(initial);
    if (position >= 0) {
        QTextCursor textCursor = edit->textCursor();
        textCursor.setPosition(position);
        edit->setTextCursor(textCursor);
    }
    if (typed)
        QTest::keyClicks(edit, inserted);
    else if (!inserted.isEmpty())
        edit->insertPlainText(inserted);

    QCOMPARE(edit->toPlainText(), expected);
    QCOMPARE(edit->textCursor().position(), cursor);
    QCOMPARE(child<QLabel>("countLabel")->text(), QStringLiteral("%1/250").arg(expected.size()));
}

void TestConsultDialog::phoneValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("twelfth digit refused") << kPhone + "9" << kPhone;
    QTest::newRow("letters and blanks refused") << "+86 13a8b"
                                                << "86138";
    QTest::newRow("fewer digits stand") << "1381234"
                                        << "1381234";
}

void TestConsultDialog::phoneValidator()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    openDialog();
    auto* phone = child<QLineEdit>("phoneEdit");
    QTest::keyClicks(phone, typed);
    QCOMPARE(phone->text(), expected);

    // Enter in the field clicks no button: Submit would have shown its first check's toast.
    QTest::keyClick(phone, Qt::Key_Return);
    QCOMPARE(m_toasts->count(), 0);
    QVERIFY(m_dialog->isVisible());
}

void TestConsultDialog::sizes_data()
{
    // The dialog opens at the other scale and is then moved to this one.
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("image");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("imageAreaHeight");

    QTest::newRow("1.0") << 1.0 << false << false << QSize(532, 400) << 34;
    QTest::newRow("1.0 image row hidden") << 1.0 << true << true << QSize(532, 424) << 108;
    QTest::newRow("1.5 image") << 1.5 << true << false << QSize(798, 711) << 162;
    QTest::newRow("1.5 row hidden") << 1.5 << false << true << QSize(798, 525) << 51;
}

void TestConsultDialog::sizes()
{
    QFETCH(double, scale);
    QFETCH(bool, image);
    QFETCH(bool, fixed);
    QFETCH(QSize, size);
    QFETCH(int, imageAreaHeight);

    DpiTool::SetScaleFactor(scale == 1.0 ? 1.5 : 1.0);
    openDialog(fixed);
    if (image) {
        QSignalSpy grown(m_dialog->findChild<UploadImageWidget*>(),
                         &UploadImageWidget::SigUpdateHeight);
        QVERIFY(attachPictures(1));
        QCOMPARE(grown.count(), 1);
    }

    DpiTool::SetScaleFactor(scale);
    QCOMPARE(m_dialog->minimumSize(), size);
    QCOMPARE(m_dialog->maximumSize(), size);
    QCOMPARE(child<QWidget>("uploadImageWidget")->maximumHeight(), imageAreaHeight);

    // The wrapped tip keeps to the button row and never squeezes the thumbnails below it.
    const int rowHeight = DpiTool::ScaleDefault(34);
    auto* tip = child<QLabel>("imgtipLabel");
    QTRY_VERIFY(tip->height() > 0 && tip->height() <= rowHeight);
    QCOMPARE(tip->toolTip(), tip->text());
    if (image) {
        auto* thumbnail = m_dialog->findChild<UploadImageLabel*>();
        QTRY_VERIFY(thumbnail->height() >= DpiTool::ScaleDefault(64));
    }
}

void TestConsultDialog::imageButtonsDisabledAtMaximum()
{
    openDialog();
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    for (bool full : {true, false}) {
        emit strip->SigUpdateStyle(full);
        for (const char* name : {"uploadWidget", "captureWidget"}) {
            auto* button = child<ZorIconButtonWidget>(name);
            QCOMPARE(button->IsDisableStyle(), full);
            QCOMPARE(button->cursor().shape(), full ? Qt::ForbiddenCursor : Qt::PointingHandCursor);
        }
    }
}

void TestConsultDialog::categoryNotification_data()
{
    QTest::addColumn<QString>("outcome");

    QTest::newRow("reply replaces what the picker showed") << "reply";
    QTest::newRow("refused query") << "refused";
    QTest::newRow("no response") << "none";
}

void TestConsultDialog::categoryNotification()
{
    QFETCH(QString, outcome);

    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(kOrdersOnly));
    openDialog();
    ZorConsultLogic::Instance()->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);

    NotificationRecorder recorder({20000});
    if (outcome == QLatin1String("reply"))
        m_gateway->reply(0, ConsultTestUtil::successEnvelope(kCategories));
    else if (outcome == QLatin1String("refused"))
        m_gateway->reply(0, R"({"code": 5000, "msg": "storage failed", "data": null})");
    else
        HttpNotifyManager::Instance()->Dispatch(20000, {}, {});
    QTRY_COMPARE(recorder.count(20000), 1);

    // The picker shows two levels of a reply; a failure leaves it as it was.
    const bool failed = outcome != QLatin1String("reply");
    const QStringList replied{"10(101,102)", "20()"};
    QCOMPARE(pickerCodes(m_dialog), failed ? QStringList{"20()"} : replied);
    QCOMPARE(toasts(), failed ? QStringList{"failed on dialog: Failed to get the problem type, "
                                            "please reopen the page"}
                              : QStringList());
}

void TestConsultDialog::recordContents_data()
{
    QTest::addColumn<QString>("first"); // empty: the category row hidden, the dialog chooses
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QByteArray>("cacheAtSubmit"); // empty: unchanged
    QTest::addColumn<QString>("record");           // "code1 name1/code2 name2/question"

    const auto row = [](const char* name, const char* first, const char* second,
                        const char* description, const QByteArray& cache, const char* record) {
        QTest::newRow(name) << QString::fromLatin1(first) << QString::fromLatin1(second)
                            << QString::fromLatin1(description) << cache
                            << QString::fromLatin1(record);
    };
    const QByteArray till = R"([{"businessTypeCode": "10", "businessTypeName": "Till",
        "children": [{"businessTypeCode": "103", "businessTypeName": "Drawer"}]}])";
    row("category and sub-category", "10", "102", "  Scanner does not start \n", {},
        "10 Cash register/102 Scanning/Scanner does not start");
    row("blanks only", "10", "101", "   \n  ", {}, "10 Cash register/101 Printing/");
    row("row hidden: the first category with its first child", "", "", "Paper out", {},
        "10 Cash register/101 Printing/Paper out");
    row("first level alone", "20", "", "Refund missing", {}, "20 Orders/0 /Refund missing");
    row("sub-category gone from the cache", "10", "101", "Paper out", till,
        "10 Till/101 /Paper out");
    row("category gone from the cache", "10", "101", "Paper out", kOrdersOnly, "");
}

void TestConsultDialog::recordContents()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, description);
    QFETCH(QByteArray, cacheAtSubmit);
    QFETCH(QString, record);

    openDialog(first.isEmpty());
    if (!first.isEmpty())
        choose(first, second);
    child<QTextEdit>("textEdit")->setPlainText(description);
    child<QLineEdit>("phoneEdit")->setText(kPhone);
    if (!cacheAtSubmit.isEmpty())
        ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(cacheAtSubmit));
    child<QPushButton>("submitButton")->click();

    const auto records = sentRecords(*m_gateway);
    if (record.isEmpty()) {
        QVERIFY(records.isEmpty());
        const QStringList refused{"failed on dialog: the type of question isn't available"};
        QCOMPARE(toasts(), refused);
        QVERIFY(child<ZorCategoryComBox>("typeEdit")->IsErrorStyle());
        // Back to idle: the next Submit checks again.
        child<QPushButton>("submitButton")->click();
        QCOMPARE(toasts(), refused + refused);
        return;
    }
    QCOMPARE(records.size(), 1);
    const QSharedPointer<ConsultDescEntity> sent = records.first();
    QCOMPARE(QStringLiteral("%1 %2/%3 %4/%5")
                 .arg(sent->GetStartBusinessCode1())
                 .arg(sent->GetStartBusinessName1())
                 .arg(sent->GetStartBusinessCode2())
                 .arg(sent->GetStartBusinessName2(), sent->GetQuestionDesc()),
             record);
    QCOMPARE((QStringList{sent->GetTelphone(), sent->GetBrowserVersion(), sent->GetSourceType()}),
             (QStringList{kPhone, kBrowser, first.isEmpty() ? "3" : ""}));
    QVERIFY(sent->GetFileList().isEmpty());
    QCOMPARE(m_toasts->count(), 0);
}

void TestConsultDialog::submissionReply_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("toast"); // empty: none

    const QString accepted =
        QStringLiteral("success on screen: Problem feedback submitted successfully");
    QTest::newRow("accepted") << "accepted" << accepted;
    QTest::newRow("accepted, a receiver destroys the dialog") << "destroyed" << accepted;
    QTest::newRow("refused") << "refused"
                             << "failed on dialog: The advisory service refused the request: "
                                "param is missing (code 4001)";
    QTest::newRow("no response") << "none"
                                 << "failed on dialog: Problem feedback submitted failed";
    QTest::newRow("another identity") << "identity" << QString();
}

void TestConsultDialog::submissionReply()
{
    QFETCH(QString, answer);
    QFETCH(QString, toast);

    openDialog();
    fillForm();
    QSignalSpy submitted(m_dialog.data(), &ZorConsultDialog::SigSubmitSuccess);
    auto* submit = child<QPushButton>("submitButton");
    submit->click();
    // A second Submit while the first runs does nothing.
    submit->click();
    QCOMPARE(m_gateway->calls.size(), 1);
    QCOMPARE(m_toasts->count(), 0);

    NotificationRecorder recorder({20001});
    const QSharedPointer<IHttpRequest> ours = m_gateway->calls.first().request;
    const bool closes = answer == QLatin1String("accepted") || answer == QLatin1String("destroyed");
    if (answer == QLatin1String("destroyed")) {
        ZorConsultDialog* dialog = m_dialog.data();
        connect(dialog, &ZorConsultDialog::SigSubmitSuccess, this, [dialog]() { delete dialog; });
    }
    if (closes) {
        m_gateway->reply(0, ConsultTestUtil::successEnvelope("\"FB-42\""));
    } else if (answer == QLatin1String("refused")) {
        m_gateway->reply(0, R"({"code": 4001, "msg": "param is missing", "data": null})");
    } else if (answer == QLatin1String("none")) {
        HttpNotifyManager::Instance()->Dispatch(20001, ours, {});
    } else {
        // An accepted reply, but to another submission.
        auto other = QSharedPointer<ConsultSubmitDescRequest>::create();
        other->SetIdentity(QUuid::createUuid().toString(QUuid::WithoutBraces));
        auto response = QSharedPointer<ConsultSubmitDescResponse>::create();
        response->SetData(ConsultTestUtil::successEnvelope("\"FB-42\""));
        HttpNotifyManager::Instance()->Dispatch(20001, other, response);
    }
    QTRY_COMPARE(recorder.count(20001), 1);

    QCOMPARE(toasts(), toast.isEmpty() ? QStringList() : QStringList{toast});
    QCOMPARE(submitted.count(), closes ? 1 : 0);
    if (closes) {
        QCOMPARE(submitted.first().at(0).toString(), QStringLiteral("FB-42"));
        QTRY_VERIFY(m_dialog.isNull());
        return;
    }
    QVERIFY(m_dialog->isVisible());
    // Every 20001 ends the submitting state: Submit sends again.
    submit->click();
    QCOMPARE(m_gateway->calls.size(), 2);
}

void TestConsultDialog::strayUploadResults_data()
{
    QTest::addColumn<QString>("result");
    QTest::addColumn<bool>("submittedBefore");

    QTest::newRow("success, nothing submitted") << "true" << false;
    QTest::newRow("failure, nothing submitted") << "false" << false;
    QTest::newRow("success after the record went out") << "true" << true;
    QTest::newRow("another component's upload after the record") << "101" << true;
}

void TestConsultDialog::strayUploadResults()
{
    QFETCH(QString, result);
    QFETCH(bool, submittedBefore);

    openDialog();
    fillForm();
    if (submittedBefore)
        child<QPushButton>("submitButton")->click();
    const int sent = m_gateway->calls.size();

    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    QSignalSpy reported(strip, &UploadImageWidget::SigUploadResult);
    if (result == QLatin1String("101")) {
        auto response = QSharedPointer<ImageUploadResponse>::create(
            m_sandbox.path(QStringLiteral("elsewhere.jpg")));
        response->SetData(ConsultTestUtil::successEnvelope(R"({"url": "http://127.0.0.1/x.jpg"})"));
        HttpNotifyManager::Instance()->Dispatch(101, {}, response);
        // The strip tracks nothing, so it reports success: the dialog must not act on it.
        QCOMPARE(reported.count(), 1);
    } else {
        emit strip->SigUploadResult(result == QLatin1String("true"));
    }

    QCOMPARE(m_gateway->calls.size(), sent);
    QCOMPARE(m_toasts->count(), 0);
}

void TestConsultDialog::uploadRound_data()
{
    QTest::addColumn<QStringList>("firstRound");
    QTest::addColumn<bool>("sentAtOnce");
    QTest::addColumn<int>("uploadsInAll");

    QTest::newRow("both stored") << QStringList{"stored", "stored"} << true << 2;
    QTest::newRow("both refused") << QStringList{"refused", "refused"} << false << 4;
    QTest::newRow("second refused") << QStringList{"stored", "refused"} << false << 3;
}

void TestConsultDialog::uploadRound()
{
    QFETCH(QStringList, firstRound);
    QFETCH(bool, sentAtOnce);
    QFETCH(int, uploadsInAll);

    LocalUploadServer server;
    QVERIFY(server.start());
    server.reply = [firstRound](int index) {
        return index < firstRound.size() && firstRound.at(index) == QLatin1String("refused")
                   ? LocalUploadServer::refused()
                   : LocalUploadServer::stored(index);
    };
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           server.uploadUrl());

    openDialog();
    fillForm();
    QVERIFY(attachPictures(2));
    NotificationRecorder uploads({101});
    child<QPushButton>("submitButton")->click();
    QTRY_COMPARE(uploads.count(101), 2);

    // One round, one message, however many of its images failed.
    const QStringList failed =
        sentAtOnce ? QStringList() : QStringList{"failed on dialog: Image upload failed"};
    QCOMPARE(toasts(), failed);
    if (!sentAtOnce) {
        QVERIFY(sentRecords(*m_gateway).isEmpty());
        // The user may submit again; only the images without an address go again.
        child<QPushButton>("submitButton")->click();
    }
    QTRY_COMPARE(sentRecords(*m_gateway).size(), 1);
    QCOMPARE(server.uploads, uploadsInAll);
    QCOMPARE(toasts(), failed);

    const auto files = sentRecords(*m_gateway).first()->GetFileList();
    QCOMPARE(files.size(), 2);
    for (const auto& file : files) {
        QVERIFY(file->url.startsWith(QLatin1String("http://127.0.0.1/img/")));
        QVERIFY(file->fileName.startsWith(QLatin1String("UploadImage")));
    }
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("image"),
                                              QStringLiteral("upload_url"));
}

QTEST_MAIN(TestConsultDialog)
#include "tst_consultdialog.moc"
