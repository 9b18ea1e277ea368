// The feedback dialog as a user meets it: Submit's checks and answers, the description limit,
// the telephone validator, fixed-category mode, sizes, and the category notification.

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
#include "ZorSkin.h"
#include "ZorToast.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTextEdit>
#include <QTranslator>

#include <cmath>

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
  {"businessTypeCode": "20", "businessTypeName": "Orders", "children": []}])";

double Luminance(const QColor& colour)
{
    auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

// The contrast ratio of two colours, 1 to 21, as accessibility guidelines define it.
double Contrast(const QColor& first, const QColor& second)
{
    const double a = Luminance(first) + 0.05, b = Luminance(second) + 0.05;
    return qMax(a, b) / qMin(a, b);
}

// What a widget looks like on screen: its area in a picture of its window.
QImage Shot(const QWidget* widget)
{
    const QImage window = widget->window()->grab().toImage();
    return window.copy(QRect(widget->mapTo(widget->window(), QPoint()), widget->size()));
}

// The colour that covers most of the picture: a text widget's background.
QColor Background(const QImage& image)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > counts.value(most))
            most = it.key();
    return QColor::fromRgb(most);
}

} // namespace

class TestConsultDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void textsAreTranslated();
    void submit_data();
    void submit();
    void descriptionLimit_data();
    void descriptionLimit();
    void sizes_data();
    void sizes();
    void wordyTip();
    void look_data();
    void look();
    void categoryNotification_data();
    void categoryNotification();
    void failedUploadRoundIsRetried();
    void resubmitIdentity_data();
    void resubmitIdentity();
    void busyWhileSubmitting_data();
    void busyWhileSubmitting();

private:
    void openDialog(bool bFixed = false);
    template<typename T>
    T* child(const char* name) const
    {
        return m_dialog->findChild<T*>(name);
    }
    // category: "first/second" codes, the second optional; empty: nothing chosen.
    void fill(const QString& category, const QString& description, const QString& phone);
    bool attachPictures(int count);
    // What is wrong with the upload area's layout: a cut tip, overlapping widgets, a
    // squeezed description; empty when nothing.
    QString uploadAreaFaults() const;
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
    Q_INIT_RESOURCE(kivconsult_translations);
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

void TestConsultDialog::fill(const QString& category, const QString& description,
                             const QString& phone)
{
    const QStringList codes = category.split('/', Qt::SkipEmptyParts);
    if (!codes.isEmpty())
        child<ZorCategoryComBox>("typeEdit")
            ->SetCurrentId(codes[0], codes.size() > 1 ? QVariant(codes[1]) : QVariant());
    child<QTextEdit>("textEdit")->setPlainText(description);
    QTest::keyClicks(child<QLineEdit>("phoneEdit"), phone);
}

bool TestConsultDialog::attachPictures(int count)
{
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    // One at a time, as a user adds them: each loads before the next is chosen.
    for (int i = 0; i < count; ++i) {
        strip->AddImage(
            false, savePicture(m_sandbox.path(QStringLiteral("%1.png").arg(i)), QSize(40 + i, 30)));
        const QPointer<QWidget> label = strip->findChildren<UploadImageLabel*>().value(i);
        if (!QTest::qWaitFor([&label]() { return label && label->isVisible(); }))
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
    QCOMPARE((QStringList{m_dialog->GetTitleText(), child<QLabel>("typeLabel")->text(),
                          child<QLineEdit>("phoneEdit")->placeholderText(),
                          child<QLabel>("imgtipLabel")->text(), toasts().join('|')}),
             (QStringList{"[Problem FeedBack]", "[Problem categroy:]",
                          "[Please enter your telephone number]",
                          "[Upload a maximum of 5 files in JPG/PNG format and the size of "
                          "the image is within 2M]",
                          "failed on dialog: [Please select the type of question]"}));
}

void TestConsultDialog::submit_data()
{
    // "hidden": the category row hidden; "hidden, childless": over a first category without
    // children; "replaced": the cache loses the choice before Submit.
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("category");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("phone");  // typed
    QTest::addColumn<QString>("answer"); // empty: Submit refuses, nothing is sent
    // Refused: the fields marked, the first focused (none: the picker). Sent: the record,
    // "code1 name1/code2 name2/question".
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("toast"); // empty: none

    const auto row = [](const char* name, const char* situation, const char* category,
                        const char* description, const QString& phone, const char* answer,
                        const char* result, const QString& toast) {
        QTest::newRow(name) << situation << category << description << phone << answer << result
                            << toast;
    };
    const QString failed = QStringLiteral("failed on dialog: ");
    const QString noCategory = failed + "Please select the type of question";
    row("category before description", "", "", "", "", "", "", noCategory);
    row("hidden picker, first category childless", "hidden, childless", "", "Paper out", kPhone, "",
        "", noCategory);
    row("category gone from the cache", "replaced", "20", "Paper out", kPhone, "", "",
        failed + "the type of question isn't available");
    row("description before telephone", "", "20", "", "", "", "textEdit,countLabel",
        failed + "Problem description is required");
    row("empty telephone", "", "20", "Paper out", "", "", "phoneEdit",
        failed + "Cell phone number is required");
    row("ten digits typed", "", "20", "Paper out", "1381234567", "", "phoneEdit",
        failed + "Wrong cell phone number");

    const QString accepted = "success on screen: Problem feedback submitted successfully";
    const char* paperOut = "10 Cash register/101 Printing/Paper out";
    // Letters, blanks and a twelfth digit are refused as they are typed.
    row("both levels, telephone typed with extras, accepted", "", "10/102",
        "  Scanner does not start \n", "138a 1234-5678 9", "accepted",
        "10 Cash register/102 Scanning/Scanner does not start", accepted);
    row("blanks only, accepted, a receiver destroys the dialog", "", "10/101", "   \n  ", kPhone,
        "destroyed", "10 Cash register/101 Printing/", accepted);
    row("row hidden, refused", "hidden", "", "Paper out", kPhone, "refused", paperOut,
        failed + "The advisory service refused the request: param is missing (code 4001)");
    row("first level alone, no response", "", "20", "Refund missing", kPhone, "none",
        "20 Orders/0 /Refund missing", failed + "Problem feedback submitted failed");
    row("sub-category gone from the cache, reply to another identity", "replaced", "10/101",
        "Paper out", kPhone, "identity", "10 Till/101 /Paper out", "");
    row("reply to another request class with our identity", "", "10/101", "Paper out", kPhone,
        "class", paperOut, "");
}

void TestConsultDialog::submit()
{
    QFETCH(QString, situation);
    QFETCH(QString, category);
    QFETCH(QString, description);
    QFETCH(QString, phone);
    QFETCH(QString, answer);
    QFETCH(QString, result);
    QFETCH(QString, toast);

    const auto till = categories(R"([{"businessTypeCode": "10", "businessTypeName": "Till"}])");
    const bool hidden = situation.startsWith(QLatin1String("hidden"));
    if (situation == QLatin1String("hidden, childless"))
        ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(till);
    openDialog(hidden);
    fill(category, description, phone);
    if (situation == QLatin1String("replaced"))
        ZorConsultLogic::Instance()->GetManager()->SetBusinessTypeList(till);
    // Enter in the telephone field clicks no button.
    QTest::keyClick(child<QLineEdit>("phoneEdit"), Qt::Key_Return);
    QVERIFY(m_dialog->isVisible());

    QSignalSpy submitted(m_dialog.data(), &ZorConsultDialog::SigSubmitSuccess);
    auto* strip = m_dialog->findChild<UploadImageWidget*>();
    auto* submit = child<QPushButton>("submitButton");
    child<QPushButton>("cancelButton")->setFocus();
    // Upload results the dialog did not wait for (another component's) neither send nor tell.
    emit strip->SigUploadResult(false);
    // A second Submit does nothing while the first runs, and checks again after a refusal.
    submit->click();
    submit->click();
    emit strip->SigUploadResult(true);
    QCOMPARE(m_gateway->calls.size(), answer.isEmpty() ? 0 : 1);

    if (answer.isEmpty()) {
        const auto errored = [this]() {
            QStringList names;
            for (const char* name : {"textEdit", "countLabel", "phoneEdit"})
                if (child<QWidget>(name)->property("errored").toBool())
                    names << name;
            return names.join(',');
        };
        QCOMPARE(toasts(), (QStringList{toast, toast}));
        QCOMPARE(child<ZorCategoryComBox>("typeEdit")->IsErrorStyle(), result.isEmpty());
        QCOMPARE(errored(), result);
        QWidget* field = child<QWidget>(result.isEmpty() ? "cancelButton"
                                                         : qPrintable(result.section(',', 0, 0)));
        QCOMPARE(m_dialog->focusWidget(), field);
        // The next edit of the field takes its marks away.
        QTest::keyClicks(field, QStringLiteral("8"));
        QCOMPARE(errored(), QString());
        return;
    }

    const QSharedPointer<ConsultDescEntity> sent = sentRecords(*m_gateway).value(0);
    QVERIFY(sent);
    QCOMPARE(QStringLiteral("%1 %2/%3 %4/%5 %6 %7 %8")
                 .arg(QString::number(sent->GetStartBusinessCode1()), sent->GetStartBusinessName1(),
                      QString::number(sent->GetStartBusinessCode2()), sent->GetStartBusinessName2(),
                      sent->GetQuestionDesc(), sent->GetTelphone(), sent->GetBrowserVersion(),
                      sent->GetSourceType()),
             QStringList({result, kPhone, kBrowser, hidden ? "3" : ""}).join(' '));

    const QSharedPointer<IHttpRequest> ours = m_gateway->calls.first().request;
    const bool closes = answer == QLatin1String("accepted") || answer == QLatin1String("destroyed");
    if (answer == QLatin1String("destroyed"))
        connect(m_dialog, &ZorConsultDialog::SigSubmitSuccess, this, [this]() { delete m_dialog; });
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
    QTRY_COMPARE(toasts(), toast.isEmpty() ? QStringList() : QStringList{toast});
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

void TestConsultDialog::descriptionLimit_data()
{
    QTest::addColumn<QString>("initial");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("inserted"); // typed or pasted at the position
    QTest::addColumn<QString>("expected");

    const auto a = [](int count) { return QString(count, QLatin1Char('a')); };
    const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80"); // two UTF-16 code units
    const QString markup = QStringLiteral("<b>bold</b> ") + QString(288, QLatin1Char('x'));

    QTest::newRow("a 251st character") << a(250) << 250 << "z" << a(250);
    QTest::newRow("300 that look like markup pasted into an empty text")
        << "" << 0 << markup << markup.left(250);
    QTest::newRow("10 pasted at 100 into 245") << a(100) + QString(145, 'b') << 100 << "0123456789"
                                               << a(100) + "01234" + QString(145, 'b');
    QTest::newRow("whole text set at once") << markup << 0 << "" << markup.left(250);
    QTest::newRow("emoji filling the last two units") << a(248) << 248 << emoji << a(248) + emoji;
    QTest::newRow("emoji whose second half is over") << a(249) << 249 << emoji << a(249);
}

void TestConsultDialog::descriptionLimit()
{
    QFETCH(QString, initial);
    QFETCH(int, position);
    QFETCH(QString, inserted);
    QFETCH(QString, expected);

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
    // The cursor stays after what was kept of an insertion, or at the end of a whole text.
    QCOMPARE(edit->textCursor().position(),
             inserted.isEmpty() ? expected.size() : position + expected.size() - initial.size());
    QCOMPARE(child<QLabel>("countLabel")->text(), QStringLiteral("%1/250").arg(expected.size()));
}

void TestConsultDialog::sizes_data()
{
    // The dialog opens at the other scale and is then moved to this one.
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("images");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<int>("imageAreaHeight");

    QTest::newRow("1.0") << 1.0 << 0 << false << QSize(532, 400) << 34;
    QTest::newRow("1.0 five images row hidden") << 1.0 << 5 << true << QSize(532, 424) << 108;
    QTest::newRow("1.5 image") << 1.5 << 1 << false << QSize(798, 711) << 162;
    QTest::newRow("1.5 row hidden") << 1.5 << 0 << true << QSize(798, 525) << 51;
    // The language changes while the dialog is open: the tip's new text is fitted again.
    QTest::newRow("1.0 image, in zh_CN") << 1.0 << 1 << false << QSize(532, 474) << 108;
}

void TestConsultDialog::sizes()
{
    QFETCH(double, scale);
    QFETCH(int, images);
    QFETCH(bool, fixed);
    QFETCH(QSize, size);
    QFETCH(int, imageAreaHeight);

    DpiTool::SetScaleFactor(scale == 1.0 ? 1.5 : 1.0);
    openDialog(fixed);
    QVERIFY(attachPictures(images));

    QTranslator language;
    if (QString(QTest::currentDataTag()).endsWith("zh_CN")) {
        QVERIFY(language.load(QStringLiteral(":/translations/kivconsult_zh_CN.qm")));
        QCoreApplication::installTranslator(&language);
    }
    const auto english =
        qScopeGuard([&language]() { QCoreApplication::removeTranslator(&language); });
    DpiTool::SetScaleFactor(scale);
    QCOMPARE(m_dialog->minimumSize(), size);
    QCOMPARE(m_dialog->maximumSize(), size);
    // The upload area grows beyond the form's height only for a tip that needs more lines.
    auto* area = child<QWidget>("uploadImageWidget");
    QVERIFY(area->maximumHeight() >= imageAreaHeight);

    // Once laid out, the whole tip shows, the size limit included, and nothing overlaps it
    // or the upload area; the description that gives up room for it still shows lines.
    auto* tip = child<QLabel>("imgtipLabel");
    QTRY_COMPARE(tip->text().startsWith("Upload"), language.isEmpty());
    QVERIFY(tip->text().contains("2M"));
    QTRY_COMPARE(uploadAreaFaults(), QString());
    QCOMPARE(m_dialog->findChild<UploadImageWidget*>()->isVisible(), images > 0);
    if (images)
        QTRY_VERIFY(m_dialog->findChild<UploadImageLabel*>()->height() >=
                    DpiTool::ScaleDefault(64));

    // Five images are the most: the buttons that add more look disabled until one goes.
    for (const bool full : {images == 5, false}) {
        for (const char* name : {"uploadWidget", "captureWidget"}) {
            QCOMPARE(child<ZorIconButtonWidget>(name)->IsDisableStyle(), full);
            QCOMPARE(child<QWidget>(name)->cursor().shape(),
                     full ? Qt::ForbiddenCursor : Qt::PointingHandCursor);
        }
        if (full)
            child<QPushButton>("imgDelBtn")->click();
    }
}

QString TestConsultDialog::uploadAreaFaults() const
{
    QStringList found;
    auto* area = child<QWidget>("uploadImageWidget");
    auto* tip = child<QLabel>("imgtipLabel");
    if (tip->width() <= 0 || tip->heightForWidth(tip->width()) > tip->height() ||
        !area->rect().contains(tip->geometry()))
        found << "tip cut";
    for (QWidget* neighbour : {child<QWidget>("uploadWidget"), child<QWidget>("captureWidget"),
                               static_cast<QWidget*>(m_dialog->findChild<UploadImageWidget*>())})
        if (neighbour->isVisible() && tip->geometry().intersects(neighbour->geometry()))
            found << neighbour->objectName();
    for (QWidget* sibling :
         area->parentWidget()->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (sibling != area && sibling->isVisible() &&
            sibling->geometry().intersects(area->geometry()))
            found << sibling->objectName();
    // The description gives up room for the tip, not all of it.
    auto* description = child<QTextEdit>("textEdit");
    if (description->height() < 3 * description->fontMetrics().lineSpacing())
        found << "description squeezed";
    return found.join(' ');
}

void TestConsultDialog::wordyTip()
{
    // A language that says the tip in three times the words, chosen while the dialog is open.
    class WordyTranslator : public QTranslator
    {
    public:
        QString translate(const char*, const char* source, const char*, int) const override
        {
            const QString text = QString::fromUtf8(source);
            return text.startsWith("Upload a maximum") ? QStringList{text, text, text}.join(' ')
                                                       : QString();
        }
        bool isEmpty() const override { return false; }
    } wordy;
    openDialog();
    QVERIFY(attachPictures(1));
    QCoreApplication::installTranslator(&wordy);
    auto english = qScopeGuard([&wordy]() { QCoreApplication::removeTranslator(&wordy); });
    QTRY_COMPARE(child<QLabel>("imgtipLabel")->text().count("2M"), 3);
    QTRY_COMPARE(uploadAreaFaults(), QString());
    // The dialog grew for what the description could not give, and returns with the language.
    QCOMPARE(m_dialog->width(), 532);
    QVERIFY(m_dialog->height() > 474);
    english.dismiss();
    QCoreApplication::removeTranslator(&wordy);
    QTRY_COMPARE(m_dialog->height(), 474);
    QTRY_COMPARE(uploadAreaFaults(), QString());
}

void TestConsultDialog::look_data()
{
    QTest::addColumn<QString>("skin");
    for (const QString& skin : ZorSkin::SkinNames())
        QTest::newRow(qPrintable(skin)) << skin;
}

void TestConsultDialog::look()
{
    QFETCH(QString, skin);
    // The skin changes while the dialog is open.
    openDialog();
    QVERIFY(ZorSkin::ChangeSkin(skin));
    const auto lightAgain = qScopeGuard([]() { ZorSkin::ChangeSkin("light"); });

    // Empty fields show their placeholders: clearly lighter than typed text, still legible.
    for (const char* name : {"phoneEdit", "textEdit"}) {
        auto* field = child<QWidget>(name);
        const QColor text = field->palette().color(QPalette::Text);
        const QColor placeholder = field->palette().color(QPalette::PlaceholderText);
        const QImage shot = Shot(field).copy(field->rect().adjusted(3, 3, -3, -3));
        const QColor background = Background(shot);
        QVERIFY2(Contrast(placeholder, background) >= 3.0, name);
        QVERIFY2(Contrast(text, placeholder) >= 2.0, name);
        // Drawn in that colour: no pixel of the empty field stands out more.
        double drawn = 1.0;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                drawn = qMax(drawn, Contrast(shot.pixelColor(x, y), background));
        QVERIFY2(drawn <= Contrast(placeholder, background) * 1.05 &&
                     drawn >= Contrast(placeholder, background) * 0.8,
                 qPrintable(QStringLiteral("%1: %2").arg(name).arg(drawn)));
    }

    // Every text on screen, with a toast and the category list open, typed text included.
    child<QPushButton>("submitButton")->click();
    QTest::keyClicks(child<QLineEdit>("phoneEdit"), "138");
    child<QTextEdit>("textEdit")->setPlainText("Printer");
    auto* picker = child<ZorCategoryComBox>("typeEdit");
    picker->ShowPopup();
    QList<QWidget*> windows{m_dialog, picker->GetPopup()};
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->objectName() == "zorToast" && window->parentWidget() == m_dialog)
            windows << window;
    QCOMPARE(windows.size(), 3);

    QStringList checked;
    for (QWidget* window : qAsConst(windows)) {
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<QLabel*>(widget);
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            const auto* line = qobject_cast<QLineEdit*>(widget);
            const auto* edit = qobject_cast<QTextEdit*>(widget);
            const auto* list = qobject_cast<QListWidget*>(widget);
            const bool bText =
                (label && !label->text().isEmpty()) || (button && !button->text().isEmpty()) ||
                (line && !line->text().isEmpty()) || (edit && !edit->toPlainText().isEmpty()) ||
                (list && list->count() > 0);
            if (!bText || !widget->isVisible() || !widget->isEnabled())
                continue;
            const QColor text = widget->palette().color(widget->foregroundRole());
            const QColor background = Background(Shot(widget));
            QVERIFY2(Contrast(text, background) >= 4.5,
                     qPrintable(QStringLiteral("%1: %2 on %3")
                                    .arg(widget->objectName(), text.name(), background.name())));
            checked << widget->objectName();
        }
    }
    for (const char* name : {"baseTitleLabel", "typeAsterisk", "typeLabel", "countLabel",
                             "imgtipLabel", "textLabel", "phoneEdit", "textEdit", "recordButton",
                             "submitButton", "cancelButton", "firstLevelList", "toastText"})
        QVERIFY2(checked.contains(name), name);
}

void TestConsultDialog::categoryNotification_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: no response
    QTest::addColumn<QStringList>("picker");
    QTest::addColumn<QString>("toast"); // empty: none

    // The picker shows two levels of a reply; a failure leaves it as it was.
    const char* failed = "failed on dialog: Failed to get the problem type, please reopen the page";
    QTest::newRow("reply replaces what the picker showed")
        << ConsultTestUtil::successEnvelope(
               R"([{"businessTypeCode": "20", "businessTypeName": "Orders"}])")
        << QStringList{"20()"} << "";
    QTest::newRow("refused query") << QByteArray(R"({"code": 5000, "msg": "failed", "data": null})")
                                   << QStringList{"10(101,102)", "20()"} << failed;
    QTest::newRow("no response") << QByteArray() << QStringList{"10(101,102)", "20()"} << failed;
}

void TestConsultDialog::categoryNotification()
{
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, picker);
    QFETCH(QString, toast);

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

void TestConsultDialog::failedUploadRoundIsRetried()
{
    // The first round refuses both images; the second stores them.
    LocalUploadServer server;
    QVERIFY(server.start());
    server.reply = [](int index) {
        return index < 2 ? LocalUploadServer::refused() : LocalUploadServer::stored(index);
    };
    ZorConfigManager::Instance()->SetValue("image", "upload_url", server.uploadUrl());
    openDialog();
    fill(QStringLiteral("10"), QStringLiteral("Printer jams"), kPhone);
    QVERIFY(attachPictures(2));
    NotificationRecorder uploads({101});
    child<QPushButton>("submitButton")->click();
    QTRY_COMPARE(uploads.count(101), 2);

    // One round, one message, however many of its images failed.
    QCOMPARE(toasts(), QStringList{"failed on dialog: Image upload failed"});
    QVERIFY(sentRecords(*m_gateway).isEmpty());
    child<QPushButton>("submitButton")->click();
    QTRY_COMPARE(sentRecords(*m_gateway).size(), 1);
    QCOMPARE(server.uploads, 4);
    QCOMPARE(toasts().size(), 1);

    const auto files = sentRecords(*m_gateway).first()->GetFileList();
    QCOMPARE(files.size(), 2);
    for (const auto& file : files)
        QVERIFY(file->url.startsWith(QLatin1String("http://127.0.0.1/img/")));
    ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
}

void TestConsultDialog::resubmitIdentity_data()
{
    QTest::addColumn<QString>("answer"); // to the first submission
    QTest::addColumn<QString>("change"); // made before Submit is clicked again
    QTest::addColumn<bool>("same");      // the second goes out under the first one's identity

    QTest::newRow("failed, same content") << "failed"
                                          << "" << true;
    QTest::newRow("no response, same content") << "none"
                                               << "" << true;
    QTest::newRow("still on its way, same content") << "other"
                                                    << "" << true;
    QTest::newRow("failed, description changed") << "failed"
                                                 << "description" << false;
    QTest::newRow("failed, telephone changed") << "failed"
                                               << "telephone" << false;
    QTest::newRow("failed, sub-category changed") << "failed"
                                                  << "category" << false;
    QTest::newRow("failed, image attached") << "failed"
                                            << "image" << false;
    QTest::newRow("failed, changed and changed back") << "failed"
                                                      << "back" << true;
    QTest::newRow("accepted, same content again") << "accepted"
                                                  << "" << false;
}

void TestConsultDialog::resubmitIdentity()
{
    QFETCH(QString, answer);
    QFETCH(QString, change);
    QFETCH(bool, same);

    LocalUploadServer server;
    QVERIFY(server.start());
    ZorConfigManager::Instance()->SetValue("image", "upload_url", server.uploadUrl());
    openDialog();
    // Kept after an accepted submission, so that it can be used again.
    m_dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    fill(QStringLiteral("10/101"), QStringLiteral("Paper out"), kPhone);
    auto* submit = child<QPushButton>("submitButton");
    auto* description = child<QTextEdit>("textEdit");
    const auto failLast = [this]() {
        const int completed = m_gateway->completed;
        m_gateway->fail(m_gateway->calls.size() - 1, -1, QStringLiteral("no answer in time"));
        QTRY_COMPARE(m_gateway->completed, completed + 1);
    };

    submit->click();
    QCOMPARE(m_gateway->calls.size(), 1);
    const QSharedPointer<IHttpRequest> first = m_gateway->calls.first().request;
    if (answer == QLatin1String("failed")) {
        failLast();
    } else if (answer == QLatin1String("none")) {
        HttpNotifyManager::Instance()->Dispatch(20001, first, {});
    } else if (answer == QLatin1String("other")) {
        auto other = QSharedPointer<ConsultSubmitDescRequest>::create();
        other->SetIdentity(QStringLiteral("another"));
        HttpNotifyManager::Instance()->Dispatch(20001, other, {});
    } else {
        m_gateway->reply(0, ConsultTestUtil::successEnvelope("\"FB-42\""));
        QTRY_VERIFY(!m_dialog->isVisible());
        m_dialog->show();
    }

    if (change == QLatin1String("description")) {
        description->setPlainText(QStringLiteral("Paper jams"));
    } else if (change == QLatin1String("telephone")) {
        child<QLineEdit>("phoneEdit")->clear();
        QTest::keyClicks(child<QLineEdit>("phoneEdit"), QStringLiteral("13900000000"));
    } else if (change == QLatin1String("category")) {
        child<ZorCategoryComBox>("typeEdit")
            ->SetCurrentId(QStringLiteral("10"), QStringLiteral("102"));
    } else if (change == QLatin1String("image")) {
        QVERIFY(attachPictures(1));
    } else if (change == QLatin1String("back")) {
        description->setPlainText(QStringLiteral("Paper jams"));
        submit->click();
        QCOMPARE(m_gateway->calls.size(), 2);
        failLast();
        description->setPlainText(QStringLiteral("Paper out"));
    }
    const int sentBefore = m_gateway->calls.size();
    submit->click();
    QTRY_COMPARE(m_gateway->calls.size(), sentBefore + 1);
    const QString identity = m_gateway->calls.last().request->GetIdentity();
    QCOMPARE(identity == first->GetIdentity(), same);
    if (change == QLatin1String("back"))
        QVERIFY(identity != m_gateway->calls.at(1).request->GetIdentity());
    ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
}

void TestConsultDialog::busyWhileSubmitting_data()
{
    QTest::addColumn<int>("images");
    QTest::addColumn<bool>("uploadRefused"); // the held upload round fails
    QTest::newRow("two images, upload refused") << 2 << true;
    QTest::newRow("two images uploaded, reply refused") << 2 << false;
    QTest::newRow("no image, reply refused") << 0 << false;
}

void TestConsultDialog::busyWhileSubmitting()
{
    QFETCH(int, images);
    QFETCH(bool, uploadRefused);

    LocalUploadServer server;
    QVERIFY(server.start());
    server.hold = true;
    server.reply = [uploadRefused](int index) {
        return uploadRefused ? LocalUploadServer::refused() : LocalUploadServer::stored(index);
    };
    ZorConfigManager::Instance()->SetValue("image", "upload_url", server.uploadUrl());
    openDialog();
    fill(QStringLiteral("10/101"), QStringLiteral("Printer jams"), kPhone);
    QVERIFY(attachPictures(images));
    // Thumbnails that show their upload under way, busy mark included.
    const auto uploading = [this]() {
        int count = 0;
        for (const auto* label : m_dialog->findChildren<UploadImageLabel*>())
            count += label->IsUploading() &&
                     label->findChild<QWidget*>(QStringLiteral("imgUploadingMask"))->isVisible();
        return count;
    };
    auto* submit = child<QPushButton>("submitButton");
    submit->setFocus();
    QTest::keyClick(submit, Qt::Key_Space);

    // Busy: Submit says so and takes no press, Ctrl+Enter included; each image on its way
    // says so until its upload has ended.
    QCOMPARE(submit->text(), QString::fromUtf8("Submitting\xE2\x80\xA6"));
    QVERIFY(!submit->isEnabled());
    QCOMPARE(uploading(), images);
    QTest::keyClick(child<QLineEdit>("phoneEdit"), Qt::Key_Return, Qt::ControlModifier);
    if (images) {
        QTRY_COMPARE(server.uploads, images);
        server.release();
        QTRY_COMPARE(uploading(), 0);
    }
    if (uploadRefused) {
        QTRY_COMPARE(toasts(), QStringList{"failed on dialog: Image upload failed"});
    } else {
        QTRY_COMPARE(sentRecords(*m_gateway).size(), 1);
        // Still busy until the service has answered.
        QVERIFY(!submit->isEnabled());
        m_gateway->reply(0, R"({"code": 4001, "msg": "param is missing", "data": null})");
    }

    // A failure gives Submit back, with the focus on it for the keyboard user who pressed it.
    QTRY_VERIFY(submit->isEnabled());
    QCOMPARE(submit->text(), QStringLiteral("Submit"));
    QCOMPARE(m_dialog->focusWidget(), submit);
    QCOMPARE(server.uploads, images);
    QCOMPARE(sentRecords(*m_gateway).size(), uploadRefused ? 0 : 1);
    ZorConfigManager::Instance()->RemoveValue("image", "upload_url");
}

QTEST_MAIN(TestConsultDialog)
#include "tst_consultdialog.moc"
