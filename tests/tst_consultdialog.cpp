// The feedback dialog as a user meets it: the Submit checks with their toasts and marks, the
// description limit, the telephone validator, fixed-category mode, sizes, and the answers.

#include "ConsultBusinessTypeRequest.h"
#include "ConsultDescEntity.h"
#include "ConsultImageEntity.h"
#include "ConsultSubmitDescRequest.h"
#include "ConsultTestUtil.h"
#include "DialogTestKit.h"
#include "DpiTool.h"
#include "HttpNotifyManager.h"
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
    void submission_data();
    void submission();
    void failedUploadRoundIsRetried();

private:
    void openDialog(bool bFixed = false);
    template<typename T>
    T* child(const char* name) const
    {
        return m_dialog->findChild<T*>(QString::fromLatin1(name));
    }
    void choose(const QString& first, const QString& second = QString());
    // Waits until every thumbnail the strip was given has loaded.
    bool attachPictures(int count);
    // The toasts shown so far, as "<kind> on <dialog|screen>: <text>".
    QStringList toasts() const;

    HostSandbox m_sandbox;
    QScopedPointer<ManualGateway> m_gateway;
    QScopedPointer<QSignalSpy> m_toasts;
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
    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(kCategories));
    m_gateway.reset(new ManualGateway);
    IHttpManager::SetInstance(m_gateway.data());
    m_toasts.reset(new QSignalSpy(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown));
}

void TestConsultDialog::cleanup()
{
    delete m_dialog;
    QVERIFY(visibleWindows().isEmpty());
    ZorConsultLogic::ReleaseInstance();
    IHttpManager::SetInstance(nullptr);
    m_gateway.reset();
}

void TestConsultDialog::openDialog(bool bFixed)
{
    m_dialog = new ZorConsultDialog(nullptr);
    m_dialog->SetBrowserVersion(kBrowser);
    if (bFixed)
        m_dialog->SetFixedTypeMode();
    m_dialog->InitData();
    m_dialog->show();
}

void TestConsultDialog::choose(const QString& first, const QString& second)
{
    child<ZorCategoryComBox>("typeEdit")
        ->SetCurrentId(first, second.isEmpty() ? QVariant() : QVariant(second));
}

bool TestConsultDialog::attachPictures(int count)
{
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    // One at a time, as a user adds them: each loads before the next is chosen.
    for (int i = 0; i < count; ++i) {
        const QString path =
            savePicture(m_sandbox.path(QUuid::createUuid().toString(QUuid::WithoutBraces) + ".png"),
                        QSize(40 + i, 30));
        strip->AddImage(false, path);
        const auto labels = strip->findChildren<UploadImageLabel*>();
        if (path.isEmpty() || labels.size() != i + 1 ||
            !QTest::qWaitFor([&]() { return labels.last()->isVisible(); }))
            return false;
    }
    return true;
}

QStringList TestConsultDialog::toasts() const
{
    QStringList shown;
    for (const QList<QVariant>& toast : *m_toasts) {
        const QWidget* parent = toast.at(2).value<QWidget*>();
        const char* where = !parent ? "screen" : parent == m_dialog ? "dialog" : "other";
        shown << QStringLiteral("%1 on %2: %3")
                     .arg(QStringList{"success", "info", "failed"}.value(toast.at(1).toInt()),
                          where, toast.at(0).toString());
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
    const QStringList texts{m_dialog->GetTitleText(), child<QLabel>("typeLabel")->text(),
                            child<QLineEdit>("phoneEdit")->placeholderText(),
                            child<QLabel>("imgtipLabel")->text(),
                            m_toasts->first().at(0).toString()};
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(texts, (QStringList{"[Problem FeedBack]", "[Problem categroy:]",
                                 "[Please enter your telephone number]",
                                 "[Upload a maximum of 5 files in JPG/PNG format and the size of "
                                 "the image is within 2M]",
                                 "[Please select the type of question]"}));
}

void TestConsultDialog::submitChecks_data()
{
    // "fixed": row hidden over a first category without children; "replaced": the cache
    // loses the chosen category before Submit.
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("first"); // empty: nothing chosen
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("toast");
    QTest::addColumn<QString>("marked"); // the fields marked, the first focused; empty: picker

    const auto row = [](const char* name, const char* situation, const char* first,
                        const char* description, const QString& phone, const char* toast,
                        const char* marked) {
        QTest::newRow(name) << situation << first << description << phone << toast << marked;
    };
    const char* category = "Please select the type of question";
    const char* description = "Problem description is required";
    row("nothing chosen", "", "", "Paper out", kPhone, category, "");
    row("hidden picker, first category childless", "fixed", "", "Paper out", kPhone, category, "");
    row("category gone from the cache", "replaced", "20", "Paper out", kPhone,
        "the type of question isn't available", "");
    row("category before description", "", "", "", "", category, "");
    row("empty description", "", "20", "", kPhone, description, "textEdit,countLabel");
    row("description before telephone", "", "20", "", "", description, "textEdit,countLabel");
    row("empty telephone", "", "20", "Paper out", "", "Cell phone number is required", "phoneEdit");
    row("ten digits", "", "20", "Paper out", "1381234567", "Wrong cell phone number", "phoneEdit");
}

void TestConsultDialog::submitChecks()
{
    QFETCH(QString, situation);
    QFETCH(QString, first);
    QFETCH(QString, description);
    QFETCH(QString, phone);
    QFETCH(QString, toast);
    QFETCH(QString, marked);

    ZorConsultManager* manager = ZorConsultLogic::Instance()->GetManager();
    manager->SetBusinessTypeList(categories(kOrdersOnly));
    openDialog(situation == QLatin1String("fixed"));
    if (!first.isEmpty())
        choose(first);
    child<QTextEdit>("textEdit")->setPlainText(description);
    child<QLineEdit>("phoneEdit")->setText(phone);
    if (situation == QLatin1String("replaced"))
        manager->SetBusinessTypeList({});
    auto* cancel = child<QPushButton>("cancelButton");
    cancel->setFocus();
    const auto errored = [this]() {
        QStringList names;
        for (const char* name : {"textEdit", "countLabel", "phoneEdit"}) {
            if (child<QWidget>(name)->property("errored").toBool())
                names << name;
        }
        return names.join(',');
    };

    // A refused Submit leaves the dialog idle: the next one checks again.
    for (int attempt = 1; attempt <= 2; ++attempt)
        child<QPushButton>("submitButton")->click();
    toast.prepend(QLatin1String("failed on dialog: "));
    QCOMPARE(toasts(), (QStringList{toast, toast}));
    QVERIFY(m_gateway->calls.isEmpty());
    QCOMPARE(child<ZorCategoryComBox>("typeEdit")->IsErrorStyle(), marked.isEmpty());
    QCOMPARE(errored(), marked);
    QWidget* field =
        marked.isEmpty() ? cancel : child<QWidget>(qPrintable(marked.section(',', 0, 0)));
    QCOMPARE(m_dialog->focusWidget(), field);
    if (marked.isEmpty())
        return;

    // The next edit of the field takes its marks away.
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(field, QStringLiteral("8"));
    QCOMPARE(errored(), QString());
}

void TestConsultDialog::descriptionLimit_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("inserted"); // typed or pasted at the position
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursor");

    const auto a = [](int count) { return QString(count, QLatin1Char('a')); };
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 code units
    const QString markup = QStringLiteral("<b>bold</b> ") + QString(288, QLatin1Char('x'));

    QTest::newRow("a 251st character") << a(250) << 250 << "z" << a(250) << 250;
    QTest::newRow("300 that look like markup pasted into an empty text")
        << "" << 0 << markup << markup.left(250) << 250;
    QTest::newRow("10 pasted at 100 into 245") << a(100) + QString(145, 'b') << 100 << "0123456789"
                                               << a(100) + "01234" + QString(145, 'b') << 105;
    QTest::newRow("whole text set at once") << markup << 0 << "" << markup.left(250) << 250;
    QTest::newRow("emoji filling the last two units")
        << a(248) << 248 << emoji << a(248) + emoji << 250;
    QTest::newRow("emoji whose second half is over") << a(249) << 249 << emoji << a(249) << 249;
}

void TestConsultDialog::descriptionLimit()
{
    QFETCH(QString, initial);
    QFETCH(int, position);
    QFETCH(QString, inserted);
    QFETCH(QString, expected);
    QFETCH(int, cursor);

    openDialog();
    auto* edit = child<QTextEdit>("textEdit");
    edit->setPlainText(initial);
    if (!inserted.isEmpty()) {
        QTextCursor textCursor = edit->textCursor();
        textCursor.setPosition(position);
        edit->setTextCursor(textCursor);
        edit->insertPlainText(inserted);
    }

    QCOMPARE(edit->toPlainText(), expected);
    QCOMPARE(edit->textCursor().position(), cursor);
    QCOMPARE(child<QLabel>("countLabel")->text(), QStringLiteral("%1/250").arg(expected.size()));
}

void TestConsultDialog::phoneValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("twelfth digit refused") << kPhone + "9" << kPhone;
    QTest::newRow("letters and blanks refused") << QString("+86 13a8b") << QString("86138");
    QTest::newRow("fewer digits stand") << QString("1381234") << QString("1381234");
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
    if (image)
        QVERIFY(attachPictures(1));

    DpiTool::SetScaleFactor(scale);
    QCOMPARE(m_dialog->minimumSize(), size);
    QCOMPARE(m_dialog->maximumSize(), size);
    QCOMPARE(child<QWidget>("uploadImageWidget")->maximumHeight(), imageAreaHeight);

    // The wrapped tip keeps to the button row and never squeezes the thumbnails below it.
    auto* tip = child<QLabel>("imgtipLabel");
    QTRY_VERIFY(tip->height() > 0 && tip->height() <= DpiTool::ScaleDefault(34));
    QCOMPARE(tip->toolTip(), tip->text());
    if (image)
        QTRY_VERIFY(m_dialog->findChild<UploadImageLabel*>()->height() >=
                    DpiTool::ScaleDefault(64));
}

void TestConsultDialog::imageButtonsDisabledAtMaximum()
{
    openDialog();
    for (bool full : {true, false}) {
        emit m_dialog->findChild<UploadImageWidget*>()->SigUpdateStyle(full);
        for (const char* name : {"uploadWidget", "captureWidget"}) {
            QCOMPARE(child<ZorIconButtonWidget>(name)->IsDisableStyle(), full);
            QCOMPARE(child<QWidget>(name)->cursor().shape(),
                     full ? Qt::ForbiddenCursor : Qt::PointingHandCursor);
        }
    }
}

void TestConsultDialog::categoryNotification_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: no response
    QTest::addColumn<QStringList>("picker");
    QTest::addColumn<QString>("toast"); // empty: none

    // The picker shows two levels of a reply; a failure leaves it as it was.
    const char* failed = "failed on dialog: Failed to get the problem type, please reopen the page";
    QTest::newRow("reply replaces what the picker showed")
        << ConsultTestUtil::successEnvelope(kCategories) << QStringList{"10(101,102)", "20()"}
        << "";
    QTest::newRow("refused query") << QByteArray(R"({"code": 5000, "msg": "failed", "data": null})")
                                   << QStringList{"20()"} << failed;
    QTest::newRow("no response") << QByteArray() << QStringList{"20()"} << failed;
}

void TestConsultDialog::categoryNotification()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, picker);
    QFETCH(QString, toast);

    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(kOrdersOnly));
    openDialog();
    ZorConsultLogic::Instance()->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);

    NotificationRecorder recorder({20000});
    if (reply.isEmpty())
        HttpNotifyManager::Instance()->Dispatch(20000, {}, {});
    else
        m_gateway->reply(0, reply);
    QTRY_COMPARE(recorder.count(20000), 1);
    QCOMPARE(pickerCodes(m_dialog), picker);
    QCOMPARE(toasts(), toast.isEmpty() ? QStringList() : QStringList{toast});
}

void TestConsultDialog::submission_data()
{
    QTest::addColumn<QString>("first"); // empty: the category row hidden, the dialog chooses
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("description");
    QTest::addColumn<bool>("renamed");   // the cache replaced before Submit
    QTest::addColumn<QString>("record"); // "code1 name1/code2 name2/question"
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("toast"); // empty: none

    const auto row = [](const char* name, const char* first, const char* second,
                        const char* description, bool renamed, const char* record,
                        const char* answer, const char* toast) {
        QTest::newRow(name) << first << second << description << renamed << record << answer
                            << toast;
    };
    const char* accepted = "success on screen: Problem feedback submitted successfully";
    const char* paperOut = "10 Cash register/101 Printing/Paper out";
    row("category and sub-category, accepted", "10", "102", "  Scanner does not start \n", false,
        "10 Cash register/102 Scanning/Scanner does not start", "accepted", accepted);
    row("blanks only, accepted, a receiver destroys the dialog", "10", "101", "   \n  ", false,
        "10 Cash register/101 Printing/", "destroyed", accepted);
    row("row hidden, refused", "", "", "Paper out", false, paperOut, "refused",
        "failed on dialog: The advisory service refused the request: param is missing (code 4001)");
    row("first level alone, no response", "20", "", "Refund missing", false,
        "20 Orders/0 /Refund missing", "none",
        "failed on dialog: Problem feedback submitted failed");
    row("sub-category gone from the cache, reply to another identity", "10", "101", "Paper out",
        true, "10 Till/101 /Paper out", "identity", "");
    row("reply to another request class with our identity", "10", "101", "Paper out", false,
        paperOut, "class", "");
}

void TestConsultDialog::submission()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, description);
    QFETCH(bool, renamed);
    QFETCH(QString, record);
    QFETCH(QString, answer);
    QFETCH(QString, toast);

    openDialog(first.isEmpty());
    if (!first.isEmpty())
        choose(first, second);
    child<QTextEdit>("textEdit")->setPlainText(description);
    child<QLineEdit>("phoneEdit")->setText(kPhone);
    if (renamed) {
        ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(
            categories(R"([{"businessTypeCode": "10", "businessTypeName": "Till"}])"));
    }
    QSignalSpy submitted(m_dialog.data(), &ZorConsultDialog::SigSubmitSuccess);
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    auto* submit = child<QPushButton>("submitButton");
    // Upload results the dialog did not wait for (another component's) neither send nor tell.
    emit strip->SigUploadResult(false);
    submit->click();
    // A second Submit while the first runs does nothing.
    submit->click();
    emit strip->SigUploadResult(true);
    QCOMPARE(m_gateway->calls.size(), 1);
    QCOMPARE(m_toasts->count(), 0);

    const QSharedPointer<ConsultDescEntity> sent = sentRecords(*m_gateway).value(0);
    QVERIFY(sent);
    QCOMPARE(QStringLiteral("%1 %2/%3 %4/%5")
                 .arg(sent->GetStartBusinessCode1())
                 .arg(sent->GetStartBusinessName1())
                 .arg(sent->GetStartBusinessCode2())
                 .arg(sent->GetStartBusinessName2(), sent->GetQuestionDesc()),
             record);
    QCOMPARE((QStringList{sent->GetTelphone(), sent->GetBrowserVersion(), sent->GetSourceType()}),
             (QStringList{kPhone, kBrowser, first.isEmpty() ? "3" : ""}));

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
        // Taken for ours, this would tell of a submission without a reply.
        QSharedPointer<IHttpRequest> other = QSharedPointer<ConsultSubmitDescRequest>::create();
        if (answer == QLatin1String("class"))
            other = QSharedPointer<ConsultBusinessTypeRequest>::create();
        other->SetIdentity(answer == QLatin1String("class") ? ours->GetIdentity() : "another");
        HttpNotifyManager::Instance()->Dispatch(20001, other, {});
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

void TestConsultDialog::failedUploadRoundIsRetried()
{
    // The first round refuses both images; the second stores them.
    LocalUploadServer server;
    QVERIFY(server.start());
    server.reply = [](int index) {
        return index < 2 ? LocalUploadServer::refused() : LocalUploadServer::stored(index);
    };
    ZorConfigManager::Instance()->SetValue(QStringLiteral("image"), QStringLiteral("upload_url"),
                                           server.uploadUrl());
    openDialog();
    choose(QStringLiteral("10"));
    child<QTextEdit>("textEdit")->setPlainText(QStringLiteral("Printer jams"));
    child<QLineEdit>("phoneEdit")->setText(kPhone);
    QVERIFY(attachPictures(2));
    NotificationRecorder uploads({101});
    child<QPushButton>("submitButton")->click();
    QTRY_COMPARE(uploads.count(101), 2);

    // One round, one message, however many of its images failed.
    const QStringList failed{"failed on dialog: Image upload failed"};
    QCOMPARE(toasts(), failed);
    QVERIFY(sentRecords(*m_gateway).isEmpty());
    child<QPushButton>("submitButton")->click();
    QTRY_COMPARE(sentRecords(*m_gateway).size(), 1);
    QCOMPARE(server.uploads, 4);
    QCOMPARE(toasts(), failed);

    const auto files = sentRecords(*m_gateway).first()->GetFileList();
    QCOMPARE(files.size(), 2);
    for (const auto& file : files)
        QVERIFY(file->url.startsWith(QLatin1String("http://127.0.0.1/img/")));
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("image"),
                                              QStringLiteral("upload_url"));
}

QTEST_MAIN(TestConsultDialog)
#include "tst_consultdialog.moc"
