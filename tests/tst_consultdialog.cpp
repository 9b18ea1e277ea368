// The feedback dialog as a user meets it: its form, the input checks of Submit with their
// toasts and error marks, the description limit, the telephone validator, the fixed-category
// mode, the sizes at two screen scales, and the answers of the category query and of the
// submission. Records go to a gateway the test drives; images to an image service on
// 127.0.0.1.

#include "ConsultBusinessTypeEntity.h"
#include "ConsultBusinessTypeRequest.h"
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
#include "ZorConsultDialogForm.h"
#include "ZorConsultLogic.h"
#include "ZorIconButtonWidget.h"
#include "ZorPushButton.h"
#include "ZorToast.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QUuid>

using namespace DialogTestKit;

Q_DECLARE_METATYPE(QMargins)

namespace {

const QString kSubmitApi =
    QStringLiteral("dsm.zorapp.service.center.VenderAdvisoryLyn.startAdvisory");
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

// The layout item of a grid or box whose widget or layout has the object name.
QLayoutItem* itemNamed(QLayout* layout, const QString& name, int* index)
{
    for (int i = 0; i < layout->count(); ++i) {
        QLayoutItem* item = layout->itemAt(i);
        const QObject* object = item->widget() ? static_cast<QObject*>(item->widget())
                                               : static_cast<QObject*>(item->layout());
        if (object && object->objectName() == name) {
            *index = i;
            return item;
        }
    }
    return nullptr;
}

} // namespace

class TestConsultDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void gridPlaces_data();
    void gridPlaces();
    void boxContents_data();
    void boxContents();
    void metaObjectMethods_data();
    void metaObjectMethods();
    void contentWidgetName_data();
    void contentWidgetName();
    void textsAreTranslated_data();
    void textsAreTranslated();
    void pickerTakesTwoLevels();
    void submitChecks_data();
    void submitChecks();
    void errorMarksClearedByNextEdit_data();
    void errorMarksClearedByNextEdit();
    void descriptionLimit_data();
    void descriptionLimit();
    void phoneValidator_data();
    void phoneValidator();
    void modes_data();
    void modes();
    void sizes_data();
    void sizes();
    void imageButtonsLook_data();
    void imageButtonsLook();
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
    void recordAndCancel();

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

void TestConsultDialog::gridPlaces_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("alignedTop");

    QTest::newRow("typeAsterisk") << "typeAsterisk"
                                  << "QLabel" << 0 << 0 << true;
    QTest::newRow("typeLabel") << "typeLabel"
                               << "QLabel" << 0 << 1 << false;
    QTest::newRow("typeEdit") << "typeEdit"
                              << "ZorCategoryComBox" << 0 << 2 << false;
    QTest::newRow("detailAsterisk") << "detailAsterisk"
                                    << "QLabel" << 2 << 0 << true;
    QTest::newRow("detailLabel") << "detailLabel"
                                 << "QLabel" << 2 << 1 << true;
    QTest::newRow("detailVerticalLayout") << "detailVerticalLayout"
                                          << "QVBoxLayout" << 2 << 2 << false;
    QTest::newRow("uploadLabel") << "uploadLabel"
                                 << "QLabel" << 3 << 1 << true;
    QTest::newRow("uploadImageWidget") << "uploadImageWidget"
                                       << "QWidget" << 3 << 2 << false;
    QTest::newRow("phoneAsterisk") << "phoneAsterisk"
                                   << "QLabel" << 4 << 0 << true;
    QTest::newRow("phoneLabel") << "phoneLabel"
                                << "QLabel" << 4 << 1 << false;
    QTest::newRow("phoneEdit") << "phoneEdit"
                               << "QLineEdit" << 4 << 2 << false;
    QTest::newRow("btnHorizontalLayout") << "btnHorizontalLayout"
                                         << "QHBoxLayout" << 5 << 2 << false;
}

void TestConsultDialog::gridPlaces()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(bool, alignedTop);

    openDialog();
    auto* grid = child<QGridLayout>("gridLayout");
    QVERIFY(grid);
    int index = -1;
    QLayoutItem* item = itemNamed(grid, name, &index);
    QVERIFY2(item, qPrintable(name));
    const QObject* object = item->widget() ? static_cast<QObject*>(item->widget())
                                           : static_cast<QObject*>(item->layout());
    QCOMPARE(QString::fromLatin1(object->metaObject()->className()), className);

    int r = -1, c = -1, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(index, &r, &c, &rowSpan, &columnSpan);
    QCOMPARE(r, row);
    QCOMPARE(c, column);
    QCOMPARE(rowSpan, 1);
    QCOMPARE(columnSpan, 1);
    QCOMPARE(item->alignment(), alignedTop ? Qt::Alignment(Qt::AlignTop) : Qt::Alignment());
}

void TestConsultDialog::boxContents_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("items"); // "~" is a spacer

    QTest::newRow("buttons") << "btnHorizontalLayout"
                             << QStringList{"~", "recordButton", "submitButton", "cancelButton"};
    QTest::newRow("description") << "detailVerticalLayout" << QStringList{"textEdit", "countLabel"};
    QTest::newRow("image row") << "horizontalLayoutOperation"
                               << QStringList{"uploadWidget", "captureWidget", "~", "imgtipLabel"};
    QTest::newRow("image area") << "uploadVerticalLayout"
                                << QStringList{"horizontalLayoutOperation", "UploadImageWidget"};
    QTest::newRow("root") << "horizontalLayoutRoot" << QStringList{"gridLayout"};
}

void TestConsultDialog::boxContents()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, items);

    openDialog();
    auto* box = m_dialog->findChild<QLayout*>(layout);
    QVERIFY(box);
    QStringList actual;
    for (int i = 0; i < box->count(); ++i) {
        QLayoutItem* item = box->itemAt(i);
        if (item->spacerItem())
            actual << QStringLiteral("~");
        else if (item->layout())
            actual << item->layout()->objectName();
        else if (auto* strip = qobject_cast<UploadImageWidget*>(item->widget()))
            actual << QString::fromLatin1(strip->metaObject()->className());
        else
            actual << item->widget()->objectName();
    }
    QCOMPARE(actual, items);
}

void TestConsultDialog::metaObjectMethods_data()
{
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<QByteArrayList>("parameterNames");
    QTest::addColumn<bool>("isSignal");

    const QList<std::tuple<const char*, QByteArrayList, bool>> methods = {
        {"SigOpenRecordUrl()", {}, true},
        {"SigSubmitSuccess(QString)", {"feedbackId"}, true},
        {"SlotUpdateHeight(bool)", {"bLarge"}, false},
        {"SlotUpdateImageStyle(bool)", {"bDisable"}, false},
        {"SlotUploadImageResult(bool)", {"bSuccess"}, false},
        {"SlotUploadClicked()", {}, false},
        {"SlotCaptureClicked()", {}, false},
        {"SlotRecord()", {}, false},
        {"SlotSubmit()", {}, false},
        {"SlotCancel()", {}, false},
        {"SlotDescriptionChanged()", {}, false},
        {"SlotPhoneChanged()", {}, false},
    };
    for (int i = 0; i < methods.size(); ++i) {
        QTest::addRow("%d", i) << QByteArray(std::get<0>(methods.at(i)))
                               << std::get<1>(methods.at(i)) << std::get<2>(methods.at(i));
    }
}

void TestConsultDialog::metaObjectMethods()
{
    QFETCH(QByteArray, signature);
    QFETCH(QByteArrayList, parameterNames);
    QFETCH(bool, isSignal);

    // Method indexes are part of the dialog's binary contract with the host.
    const QMetaObject& meta = ZorConsultDialog::staticMetaObject;
    QCOMPARE(QByteArray(meta.className()), QByteArray("ZorConsultDialog"));
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 12);
    QCOMPARE(meta.propertyCount(), meta.propertyOffset());
    const QMetaMethod method =
        meta.method(meta.methodOffset() + QByteArray(QTest::currentDataTag()).toInt());
    QCOMPARE(method.methodSignature(), signature);
    QCOMPARE(method.parameterNames(), parameterNames);
    QCOMPARE(method.methodType(), isSignal ? QMetaMethod::Signal : QMetaMethod::Slot);
    QCOMPARE(method.access(), isSignal ? QMetaMethod::Public : QMetaMethod::Private);
}

void TestConsultDialog::contentWidgetName_data()
{
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("expected");

    QTest::newRow("unnamed") << QString() << "ZorConsultDialog";
    QTest::newRow("named by the host") << "hostContent"
                                       << "hostContent";
}

void TestConsultDialog::contentWidgetName()
{
    QFETCH(QString, given);
    QFETCH(QString, expected);

    QWidget content;
    content.setObjectName(given);
    ZorConsultDialogForm form;
    form.setupUi(&content);
    QCOMPARE(content.objectName(), expected);
    QCOMPARE(content.size(), QSize(581, 418));
    QCOMPARE(form.typeEdit->parentWidget(), &content);
    QCOMPARE(form.uploadWidget->parentWidget(), form.uploadImageWidget);
    QCOMPARE(form.textEdit->focusPolicy(), Qt::ClickFocus);
    QVERIFY(form.imgtipLabel->wordWrap());
}

void TestConsultDialog::textsAreTranslated_data()
{
    // Rows are named by the object whose text they check.
    QTest::addColumn<QString>("text");

    QTest::newRow("title") << QStringLiteral("[Problem FeedBack]");
    QTest::newRow("uploadLabel") << QStringLiteral("[Upload image:]");
    QTest::newRow("recordButton") << QStringLiteral("[Historical feedback record]");
    QTest::newRow("submitButton") << QStringLiteral("[Submit]");
    QTest::newRow("cancelButton") << QStringLiteral("[Cancel]");
    QTest::newRow("phoneLabel") << QStringLiteral("[Telephone number:]");
    QTest::newRow("detailLabel") << QStringLiteral("[Problem description:]");
    QTest::newRow("typeLabel") << QStringLiteral("[Problem categroy:]");
    QTest::newRow("textEdit") << QStringLiteral("[Please describe the problems you encounter in "
                                                "detail, so as to quickly locate and solve them]");
    QTest::newRow("phoneEdit") << QStringLiteral("[Please enter your telephone number]");
    QTest::newRow("uploadWidget") << QStringLiteral("[Upload]");
    QTest::newRow("captureWidget") << QStringLiteral("[Capture]");
    QTest::newRow("imgtipLabel") << QStringLiteral("[Upload a maximum of 5 files in JPG/PNG format "
                                                   "and the size of the image is within 2M]");
    QTest::newRow("toast") << QStringLiteral("[Please select the type of question]");
}

void TestConsultDialog::textsAreTranslated()
{
    QFETCH(QString, text);
    const QString name = QString::fromLatin1(QTest::currentDataTag());

    MarkingTranslator translator("ZorConsultDialog");
    QCoreApplication::installTranslator(&translator);
    openDialog();
    QString actual;
    if (name == QLatin1String("title")) {
        actual = m_dialog->GetTitleText();
    } else if (name == QLatin1String("toast")) {
        child<QPushButton>("submitButton")->click();
        QCOMPARE(m_toasts->count(), 1);
        actual = m_toasts->first().at(0).toString();
    } else if (auto* button = child<ZorIconButtonWidget>(qPrintable(name))) {
        actual = button->GetLabelText()->text();
    } else if (auto* edit = child<QTextEdit>(qPrintable(name))) {
        actual = edit->placeholderText();
    } else if (auto* line = child<QLineEdit>(qPrintable(name))) {
        actual = line->placeholderText();
    } else {
        actual = child<QWidget>(qPrintable(name))->property("text").toString();
    }
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(actual, text);
}

void TestConsultDialog::pickerTakesTwoLevels()
{
    openDialog();
    auto* picker = child<ZorCategoryComBox>("typeEdit");
    QCOMPARE(pickerCodes(m_dialog), (QStringList{"10(101,102)", "20()"}));
    QCOMPARE(picker->GetListData().first()->name, QStringLiteral("Cash register"));
    QCOMPARE(picker->GetListData().first()->children.at(1)->name, QStringLiteral("Scanning"));
    // Full mode leaves the choice to the user.
    QVERIFY(!picker->GetFirstLevelId().isValid());
    QCOMPARE(child<QLabel>("countLabel")->text(), QStringLiteral("0/250"));
}

void TestConsultDialog::submitChecks_data()
{
    QTest::addColumn<QByteArray>("cache");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QString>("first"); // empty: nothing chosen
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("toast");
    QTest::addColumn<QString>("focus"); // object name, or empty when focus stays
    QTest::addColumn<QStringList>("errored");
    QTest::addColumn<bool>("pickerError");

    const QString category = QStringLiteral("Please select the type of question");
    const QString description = QStringLiteral("Problem description is required");
    QTest::newRow("nothing chosen")
        << kCategories << false << ""
        << "Paper out" << kPhone << category << "" << QStringList() << true;
    QTest::newRow("empty category list")
        << QByteArray("[]") << false << ""
        << "Paper out" << kPhone << category << "" << QStringList() << true;
    QTest::newRow("hidden picker, first category childless")
        << QByteArray(R"([{"businessTypeCode": "20", "businessTypeName": "Orders"}])") << true << ""
        << "Paper out" << kPhone << category << "" << QStringList() << true;
    QTest::newRow("category before description") << kCategories << false << ""
                                                 << ""
                                                 << "" << category << "" << QStringList() << true;
    QTest::newRow("empty description") << kCategories << false << "10"
                                       << "" << kPhone << description << "textEdit"
                                       << QStringList{"textEdit", "countLabel"} << false;
    QTest::newRow("description before telephone")
        << kCategories << false << "10"
        << ""
        << "" << description << "textEdit" << QStringList{"textEdit", "countLabel"} << false;
    QTest::newRow("empty telephone") << kCategories << false << "10"
                                     << "Paper out"
                                     << ""
                                     << "Cell phone number is required"
                                     << "phoneEdit" << QStringList{"phoneEdit"} << false;
    QTest::newRow("ten digits") << kCategories << false << "10"
                                << "Paper out"
                                << "1381234567"
                                << "Wrong cell phone number"
                                << "phoneEdit" << QStringList{"phoneEdit"} << false;
    QTest::newRow("eleven digits with a letter")
        << kCategories << false << "10"
        << "Paper out"
        << "1381234567a"
        << "Wrong cell phone number"
        << "phoneEdit" << QStringList{"phoneEdit"} << false;
}

void TestConsultDialog::submitChecks()
{
    QFETCH(QByteArray, cache);
    QFETCH(bool, fixed);
    QFETCH(QString, first);
    QFETCH(QString, description);
    QFETCH(QString, phone);
    QFETCH(QString, toast);
    QFETCH(QString, focus);
    QFETCH(QStringList, errored);
    QFETCH(bool, pickerError);

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

    QCOMPARE(m_toasts->count(), 1);
    const QList<QVariant> shown = m_toasts->takeFirst();
    QCOMPARE(shown.at(0).toString(), toast);
    QCOMPARE(shown.at(1).toInt(), int(TOAST_FAILED));
    QCOMPARE(shown.at(2).value<QWidget*>(), m_dialog.data());
    QVERIFY(m_gateway->calls.isEmpty());

    QWidget* expectedFocus =
        focus.isEmpty() ? static_cast<QWidget*>(cancel) : child<QWidget>(qPrintable(focus));
    QCOMPARE(m_dialog->focusWidget(), expectedFocus);
    for (const char* name : {"textEdit", "countLabel", "phoneEdit"}) {
        QCOMPARE(child<QWidget>(name)->property("errored").toBool(),
                 errored.contains(QLatin1String(name)));
    }
    QCOMPARE(child<ZorCategoryComBox>("typeEdit")->IsErrorStyle(), pickerError);
}

void TestConsultDialog::errorMarksClearedByNextEdit_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("edited");
    QTest::addColumn<QStringList>("marked");

    QTest::newRow("description") << "" << kPhone << "textEdit"
                                 << QStringList{"textEdit", "countLabel"};
    QTest::newRow("empty telephone") << "Paper out"
                                     << ""
                                     << "phoneEdit" << QStringList{"phoneEdit"};
    QTest::newRow("short telephone") << "Paper out"
                                     << "1381234567"
                                     << "phoneEdit" << QStringList{"phoneEdit"};
}

void TestConsultDialog::errorMarksClearedByNextEdit()
{
    QFETCH(QString, description);
    QFETCH(QString, phone);
    QFETCH(QString, edited);
    QFETCH(QStringList, marked);

    openDialog();
    choose(QStringLiteral("10"), QStringLiteral("101"));
    child<QTextEdit>("textEdit")->setPlainText(description);
    child<QLineEdit>("phoneEdit")->setText(phone);
    child<QPushButton>("submitButton")->click();
    for (const QString& name : marked)
        QVERIFY(child<QWidget>(qPrintable(name))->property("errored").toBool());

    QTest::keyClicks(child<QWidget>(qPrintable(edited)), QStringLiteral("8"));
    for (const QString& name : marked)
        QVERIFY(!child<QWidget>(qPrintable(name))->property("errored").toBool());
}

void TestConsultDialog::descriptionLimit_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("position"); // -1: where setting the text left the cursor
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("counter");

    const QString a250(250, QLatin1Char('a'));
    const QString digits300 = QStringLiteral("0123456789").repeated(30);
    const QString b145(145, QLatin1Char('b'));
    const QString a100(100, QLatin1Char('a'));
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 code units
    const QString markup = QStringLiteral("<b>bold</b> ") + QString(300, QLatin1Char('x'));

    QTest::newRow("short text") << "" << -1 << "abc" << true << "abc" << 3 << "3/250";
    QTest::newRow("typing the 251st character")
        << a250 << 250 << "z" << true << a250 << 250 << "250/250";
    QTest::newRow("typing inside a full text")
        << a250 << 10 << "z" << true << a250 << 10 << "250/250";
    QTest::newRow("300 pasted into an empty text")
        << "" << -1 << digits300 << false << digits300.left(250) << 250 << "250/250";
    QTest::newRow("10 pasted at 100 into 245")
        << a100 + b145 << 100 << "0123456789" << false << a100 + "01234" + b145 << 105 << "250/250";
    QTest::newRow("whole text set at once")
        << digits300 << -1 << "" << false << digits300.left(250) << 250 << "250/250";
    QTest::newRow("emoji filling the last two units")
        << QString(248, QLatin1Char('a')) << 248 << emoji << false
        << QString(248, QLatin1Char('a')) + emoji << 250 << "250/250";
    QTest::newRow("emoji whose second half is over")
        << QString(249, QLatin1Char('a')) << 249 << emoji << false << QString(249, QLatin1Char('a'))
        << 249 << "249/250";
    QTest::newRow("cut falling inside an emoji")
        << QString(247, QLatin1Char('a')) << 247 << "bc" + emoji + "d" << false
        << QString(247, QLatin1Char('a')) + "bc" << 249 << "249/250";
    QTest::newRow("text that looks like markup")
        << "" << -1 << markup << false << markup.left(250) << 250 << "250/250";
}

void TestConsultDialog::descriptionLimit()
{
    QFETCH(QString, initial);
    QFETCH(int, position);
    QFETCH(QString, inserted);
    QFETCH(bool, typed);
    QFETCH(QString, expected);
    QFETCH(int, cursor);
    QFETCH(QString, counter);

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
    QCOMPARE(child<QLabel>("countLabel")->text(), counter);
}

void TestConsultDialog::phoneValidator_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("eleven digits") << kPhone << kPhone;
    QTest::newRow("twelfth digit refused") << kPhone + "9" << kPhone;
    QTest::newRow("letters refused") << "13a8b"
                                     << "138";
    QTest::newRow("plus and blanks refused") << "+86 138 1234 5678"
                                             << "86138123456";
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
}

void TestConsultDialog::modes_data()
{
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QVariant>("preselected");
    QTest::addColumn<QString>("sourceType");
    QTest::addColumn<int>("historyRequests");
    QTest::addColumn<int>("adjustedHeight");

    QTest::newRow("full") << false << QVariant() << "" << 1 << 400;
    QTest::newRow("fixed category")
        << true << QVariant(QStringLiteral("1907/1908")) << "3" << 0 << 350;
}

void TestConsultDialog::modes()
{
    QFETCH(bool, fixed);
    QFETCH(QVariant, preselected);
    QFETCH(QString, sourceType);
    QFETCH(int, historyRequests);
    QFETCH(int, adjustedHeight);

    ZorConsultLogic::Instance()->LoadLoginProblemTypes();
    openDialog(fixed);
    auto* picker = child<ZorCategoryComBox>("typeEdit");
    if (preselected.isValid()) {
        QCOMPARE(picker->GetFirstLevelId().toString() + "/" + picker->GetSecondLevelId().toString(),
                 preselected.toString());
    } else {
        QVERIFY(!picker->GetFirstLevelId().isValid());
        choose(QStringLiteral("1907"), QStringLiteral("1908"));
    }
    for (const char* name : {"typeAsterisk", "typeLabel", "typeEdit", "recordButton"})
        QCOMPARE(child<QWidget>(name)->isVisible(), !fixed);

    QSignalSpy history(m_dialog.data(), &ZorConsultDialog::SigOpenRecordUrl);
    child<QPushButton>("recordButton")->click();
    QCOMPARE(history.count(), historyRequests);

    // The mode changes no size by itself; the next adjustment does.
    QCOMPARE(m_dialog->height(), 400);
    m_dialog->AdjustForDpi();
    QCOMPARE(m_dialog->height(), adjustedHeight);

    child<QTextEdit>("textEdit")->setPlainText(QStringLiteral("Cannot log in"));
    child<QLineEdit>("phoneEdit")->setText(kPhone);
    child<QPushButton>("submitButton")->click();
    const auto records = sentRecords(*m_gateway);
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first()->GetSourceType(), sourceType);
    QCOMPARE(records.first()->GetStartBusinessCode1(), 1907L);
    QCOMPARE(records.first()->GetStartBusinessName2(), QStringLiteral("velorin login problem"));
}

void TestConsultDialog::sizes_data()
{
    QTest::addColumn<double>("startScale");
    QTest::addColumn<double>("scale");
    QTest::addColumn<bool>("image");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("imageAreaHeight");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<QSize>("gridSpacing");

    const QMargins m1(28, 20, 28, 20), m15(42, 30, 42, 30);
    const QSize g1(4, 20), g15(6, 30);
    QTest::newRow("1.0") << 1.5 << 1.0 << false << false << 532 << 400 << 34 << m1 << g1;
    QTest::newRow("1.0 image") << 1.5 << 1.0 << true << false << 532 << 474 << 108 << m1 << g1;
    QTest::newRow("1.0 row hidden") << 1.5 << 1.0 << false << true << 532 << 350 << 34 << m1 << g1;
    QTest::newRow("1.0 image row hidden")
        << 1.5 << 1.0 << true << true << 532 << 424 << 108 << m1 << g1;
    QTest::newRow("1.5") << 1.0 << 1.5 << false << false << 798 << 600 << 51 << m15 << g15;
    QTest::newRow("1.5 image") << 1.0 << 1.5 << true << false << 798 << 711 << 162 << m15 << g15;
    QTest::newRow("1.5 row hidden")
        << 1.0 << 1.5 << false << true << 798 << 525 << 51 << m15 << g15;
    QTest::newRow("1.5 image row hidden")
        << 1.0 << 1.5 << true << true << 798 << 636 << 162 << m15 << g15;
}

void TestConsultDialog::sizes()
{
    QFETCH(double, startScale);
    QFETCH(double, scale);
    QFETCH(bool, image);
    QFETCH(bool, fixed);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, imageAreaHeight);
    QFETCH(QMargins, margins);
    QFETCH(QSize, gridSpacing);

    DpiTool::SetScaleFactor(startScale);
    openDialog(fixed);
    if (image) {
        QSignalSpy grown(m_dialog->findChild<UploadImageWidget*>(),
                         &UploadImageWidget::SigUpdateHeight);
        QVERIFY(attachPictures(1));
        QCOMPARE(grown.count(), 1);
    }

    DpiTool::SetScaleFactor(scale);
    QCOMPARE(m_dialog->minimumWidth(), width);
    QCOMPARE(m_dialog->maximumWidth(), width);
    QCOMPARE(m_dialog->minimumHeight(), height);
    QCOMPARE(m_dialog->maximumHeight(), height);
    QCOMPARE(child<QWidget>("uploadImageWidget")->maximumHeight(), imageAreaHeight);
    QCOMPARE(child<QLayout>("horizontalLayoutRoot")->contentsMargins(), margins);
    auto* grid = child<QGridLayout>("gridLayout");
    QCOMPARE(QSize(grid->horizontalSpacing(), grid->verticalSpacing()), gridSpacing);
    QCOMPARE(child<QLayout>("btnHorizontalLayout")->spacing(), gridSpacing.width() * 3);
    QCOMPARE(child<QLayout>("uploadVerticalLayout")->spacing(), gridSpacing.width() * 2);

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

void TestConsultDialog::imageButtonsLook_data()
{
    QTest::addColumn<bool>("full");
    QTest::addColumn<Qt::CursorShape>("cursor");

    QTest::newRow("maximum reached") << true << Qt::ForbiddenCursor;
    QTest::newRow("below the maximum") << false << Qt::PointingHandCursor;
}

void TestConsultDialog::imageButtonsLook()
{
    QFETCH(bool, full);
    QFETCH(Qt::CursorShape, cursor);

    openDialog();
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    emit strip->SigUpdateStyle(true);
    emit strip->SigUpdateStyle(full);
    for (const char* name : {"uploadWidget", "captureWidget"}) {
        auto* button = child<ZorIconButtonWidget>(name);
        QCOMPARE(button->IsDisableStyle(), full);
        QCOMPARE(button->cursor().shape(), cursor);
    }
}

void TestConsultDialog::categoryNotification_data()
{
    QTest::addColumn<QByteArray>("cached");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("picker");
    QTest::addColumn<bool>("toast");

    const QByteArray orders = R"([{"businessTypeCode": "20", "businessTypeName": "Orders"}])";
    QTest::newRow("reply refills the picker")
        << QByteArray("[]") << "reply" << QStringList{"10(101,102)", "20()"} << false;
    QTest::newRow("reply replaces what it showed")
        << orders << "reply" << QStringList{"10(101,102)", "20()"} << false;
    QTest::newRow("refused query") << orders << "refused" << QStringList{"20()"} << true;
    QTest::newRow("connection failed") << orders << "network" << QStringList{"20()"} << true;
    QTest::newRow("no response") << orders << "none" << QStringList{"20()"} << true;
}

void TestConsultDialog::categoryNotification()
{
    QFETCH(QByteArray, cached);
    QFETCH(QString, outcome);
    QFETCH(QStringList, picker);
    QFETCH(bool, toast);

    ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(cached));
    openDialog();
    ZorConsultLogic::Instance()->RequestBusinessType();
    QCOMPARE(m_gateway->calls.size(), 1);

    NotificationRecorder recorder({20000});
    if (outcome == QLatin1String("reply"))
        m_gateway->reply(0, ConsultTestUtil::successEnvelope(kCategories));
    else if (outcome == QLatin1String("refused"))
        m_gateway->reply(0, R"({"code": 5000, "msg": "storage failed", "data": null})");
    else if (outcome == QLatin1String("network"))
        m_gateway->fail(0, -1, QStringLiteral("Connection refused"));
    else
        HttpNotifyManager::Instance()->Dispatch(20000, {}, {});
    QTRY_COMPARE(recorder.count(20000), 1);

    // A failure leaves the picker as it was.
    QCOMPARE(pickerCodes(m_dialog), picker);
    QCOMPARE(m_toasts->count(), toast ? 1 : 0);
    if (toast) {
        QCOMPARE(m_toasts->first().at(0).toString(),
                 QStringLiteral("Failed to get the problem type, please reopen the page"));
        QCOMPARE(m_toasts->first().at(1).toInt(), int(TOAST_FAILED));
        QCOMPARE(m_toasts->first().at(2).value<QWidget*>(), m_dialog.data());
    }
}

void TestConsultDialog::recordContents_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QByteArray>("cacheAtSubmit"); // empty: unchanged
    QTest::addColumn<bool>("sent");
    QTest::addColumn<long>("code1");
    QTest::addColumn<QString>("name1");
    QTest::addColumn<long>("code2");
    QTest::addColumn<QString>("name2");
    QTest::addColumn<QString>("question");

    QTest::newRow("category and sub-category")
        << "10"
        << "102"
        << "  Scanner does not start \n"
        << QByteArray() << true << 10L << "Cash register" << 102L << "Scanning"
        << "Scanner does not start";
    QTest::newRow("blanks only") << "10"
                                 << "101"
                                 << "   \n  " << QByteArray() << true << 10L << "Cash register"
                                 << 101L << "Printing"
                                 << "";
    QTest::newRow("first level alone")
        << "20"
        << ""
        << "Refund missing" << QByteArray() << true << 20L << "Orders" << 0L << ""
        << "Refund missing";
    QTest::newRow("sub-category gone from the cache")
        << "10"
        << "101"
        << "Paper out"
        << QByteArray(R"([{"businessTypeCode": "10", "businessTypeName": "Till", "children": [
                           {"businessTypeCode": "103", "businessTypeName": "Drawer"}]}])")
        << true << 10L << "Till" << 101L << ""
        << "Paper out";
    QTest::newRow("category gone from the cache")
        << "10"
        << "101"
        << "Paper out"
        << QByteArray(R"([{"businessTypeCode": "20", "businessTypeName": "Orders"}])") << false
        << 0L << "" << 0L << ""
        << "";
}

void TestConsultDialog::recordContents()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(QString, description);
    QFETCH(QByteArray, cacheAtSubmit);
    QFETCH(bool, sent);
    QFETCH(long, code1);
    QFETCH(QString, name1);
    QFETCH(long, code2);
    QFETCH(QString, name2);
    QFETCH(QString, question);

    openDialog();
    choose(first, second);
    child<QTextEdit>("textEdit")->setPlainText(description);
    child<QLineEdit>("phoneEdit")->setText(kPhone);
    if (!cacheAtSubmit.isEmpty())
        ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(categories(cacheAtSubmit));
    child<QPushButton>("submitButton")->click();

    const auto records = sentRecords(*m_gateway);
    if (!sent) {
        QVERIFY(records.isEmpty());
        QCOMPARE(m_toasts->count(), 1);
        QCOMPARE(m_toasts->first().at(0).toString(),
                 QStringLiteral("the type of question isn't available"));
        QVERIFY(child<ZorCategoryComBox>("typeEdit")->IsErrorStyle());
        // Back to idle: the next Submit checks again.
        child<QPushButton>("submitButton")->click();
        QCOMPARE(m_toasts->count(), 2);
        return;
    }
    QCOMPARE(records.size(), 1);
    const QSharedPointer<ConsultDescEntity> record = records.first();
    QCOMPARE(record->GetStartBusinessCode1(), code1);
    QCOMPARE(record->GetStartBusinessName1(), name1);
    QCOMPARE(record->GetStartBusinessCode2(), code2);
    QCOMPARE(record->GetStartBusinessName2(), name2);
    QCOMPARE(record->GetQuestionDesc(), question);
    QCOMPARE(record->GetTelphone(), kPhone);
    QCOMPARE(record->GetBrowserVersion(), kBrowser);
    QCOMPARE(record->GetSourceType(), QString());
    QVERIFY(record->GetFileList().isEmpty());
    QCOMPARE(m_toasts->count(), 0);
}

void TestConsultDialog::submissionReply_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("toast"); // empty: none
    QTest::addColumn<bool>("closes");

    QTest::newRow("accepted") << "accepted"
                              << "Problem feedback submitted successfully" << true;
    QTest::newRow("refused") << "refused"
                             << "(error text)" << false;
    QTest::newRow("connection failed") << "network"
                                       << "(error text)" << false;
    QTest::newRow("no response") << "none"
                                 << "Problem feedback submitted failed" << false;
    QTest::newRow("another identity") << "identity"
                                      << "" << false;
    QTest::newRow("another request class") << "class"
                                           << "" << false;
}

void TestConsultDialog::submissionReply()
{
    QFETCH(QString, answer);
    QFETCH(QString, toast);
    QFETCH(bool, closes);

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
    const QByteArray refusal = R"({"code": 4001, "msg": "param is missing", "data": null})";
    auto accepted = QSharedPointer<ConsultSubmitDescResponse>::create();
    accepted->SetData(ConsultTestUtil::successEnvelope("\"FB-42\""));
    ConsultSubmitDescResponse expectedError;
    if (answer == QLatin1String("accepted")) {
        m_gateway->reply(0, ConsultTestUtil::successEnvelope("\"FB-42\""));
    } else if (answer == QLatin1String("refused")) {
        m_gateway->reply(0, refusal);
        expectedError.SetData(refusal);
    } else if (answer == QLatin1String("network")) {
        m_gateway->fail(0, -1, QStringLiteral("Connection refused"));
        expectedError.SetNetworkError(-1, QStringLiteral("Connection refused"));
    } else if (answer == QLatin1String("none")) {
        HttpNotifyManager::Instance()->Dispatch(20001, ours, {});
    } else if (answer == QLatin1String("identity")) {
        auto other = QSharedPointer<ConsultSubmitDescRequest>::create();
        other->SetIdentity(QUuid::createUuid().toString(QUuid::WithoutBraces));
        HttpNotifyManager::Instance()->Dispatch(20001, other, accepted);
    } else {
        auto other = QSharedPointer<ConsultBusinessTypeRequest>::create();
        other->SetIdentity(ours->GetIdentity());
        HttpNotifyManager::Instance()->Dispatch(20001, other, accepted);
    }
    QTRY_COMPARE(recorder.count(20001), 1);
    if (toast == QLatin1String("(error text)"))
        toast = expectedError.GetErrorDesc();

    QCOMPARE(m_toasts->count(), toast.isEmpty() ? 0 : 1);
    if (!toast.isEmpty()) {
        QCOMPARE(m_toasts->first().at(0).toString(), toast);
        QCOMPARE(m_toasts->first().at(1).toInt(), int(closes ? TOAST_SUCCESS : TOAST_FAILED));
        QCOMPARE(m_toasts->first().at(2).value<QWidget*>(),
                 closes ? nullptr : static_cast<QWidget*>(m_dialog.data()));
    }
    if (closes) {
        QCOMPARE(submitted.count(), 1);
        QCOMPARE(submitted.first().at(0).toString(), QStringLiteral("FB-42"));
        QTRY_VERIFY(m_dialog.isNull());
        return;
    }
    QCOMPARE(submitted.count(), 0);
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
    QTest::newRow("another component's upload") << "101" << false;
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

    if (sentAtOnce) {
        QCOMPARE(m_toasts->count(), 0);
    } else {
        // One round, one message, however many of its images failed.
        QCOMPARE(m_toasts->count(), 1);
        QCOMPARE(m_toasts->first().at(0).toString(), QStringLiteral("Image upload failed"));
        QCOMPARE(m_toasts->first().at(2).value<QWidget*>(), m_dialog.data());
        QVERIFY(sentRecords(*m_gateway).isEmpty());
        // The user may submit again; only the images without an address go again.
        child<QPushButton>("submitButton")->click();
    }
    QTRY_COMPARE(sentRecords(*m_gateway).size(), 1);
    QCOMPARE(server.uploads, uploadsInAll);
    QCOMPARE(m_toasts->count(), sentAtOnce ? 0 : 1);

    const auto files = sentRecords(*m_gateway).first()->GetFileList();
    QCOMPARE(files.size(), 2);
    for (const auto& file : files) {
        QVERIFY(file->url.startsWith(QLatin1String("http://127.0.0.1/img/")));
        QVERIFY(file->fileName.startsWith(QLatin1String("UploadImage")));
    }
    ZorConfigManager::Instance()->RemoveValue(QStringLiteral("image"),
                                              QStringLiteral("upload_url"));
}

void TestConsultDialog::recordAndCancel()
{
    openDialog();
    QSignalSpy history(m_dialog.data(), &ZorConsultDialog::SigOpenRecordUrl);
    child<QPushButton>("recordButton")->click();
    QCOMPARE(history.count(), 1);

    child<QPushButton>("cancelButton")->click();
    QVERIFY(!m_dialog->isVisible());
    QTRY_VERIFY(m_dialog.isNull());
}

QTEST_MAIN(TestConsultDialog)
#include "tst_consultdialog.moc"
