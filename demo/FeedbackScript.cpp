#include "FeedbackScript.h"

#include "HostSetup.h"
#include "HostWindow.h"

#include "ZorCategoryComBox.h"
#include "ZorToast.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadialGradient>
#include <QScopedPointer>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int kStepTimeoutMs = 10000;
constexpr int kCategoriesTimeoutMs = 30000;
constexpr QSize kPhotoSize(800, 600);

void Print(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

// Types text into a widget key by key. Characters outside ASCII (and surrogate pairs) travel
// as the text of a key event, as an input method delivers them.
void TypeText(QWidget* widget, const QString& text)
{
    for (int i = 0; i < text.size();) {
        const int length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString unit = text.mid(i, length);
        const ushort code = unit.at(0).unicode();
        if (code == '\n')
            QTest::keyClick(widget, Qt::Key_Return);
        else if (length == 1 && code >= 0x20 && code < 0x7f)
            QTest::keyClick(widget, static_cast<char>(code));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, unit, Qt::NoModifier);
        i += length;
    }
}

// A picture with some structure, so that a wrong crop, scale or colour shows.
QImage MakeDemoPhoto()
{
    QImage photo(kPhotoSize, QImage::Format_RGB32);
    QPainter painter(&photo);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, photo.width(), photo.height());
    sky.setColorAt(0.0, QColor(28, 84, 160));
    sky.setColorAt(1.0, QColor(244, 166, 60));
    painter.fillRect(photo.rect(), sky);

    QRadialGradient sun(QPointF(650, 140), 90);
    sun.setColorAt(0.0, QColor(255, 248, 210));
    sun.setColorAt(1.0, QColor(255, 210, 90, 0));
    painter.setBrush(sun);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(650, 140), 90, 90);

    // A receipt stuck half way out of a printer: what the demo feedback is about.
    painter.setBrush(QColor(52, 56, 64));
    painter.drawRoundedRect(QRectF(170, 330, 460, 170), 18, 18);
    painter.setBrush(QColor(250, 250, 246));
    QPainterPath receipt;
    receipt.moveTo(250, 340);
    receipt.lineTo(250, 120);
    for (int x = 250; x < 550; x += 20) {
        receipt.lineTo(x + 10, 108);
        receipt.lineTo(x + 20, 120);
    }
    receipt.lineTo(550, 340);
    receipt.closeSubpath();
    painter.drawPath(receipt);
    painter.setPen(QPen(QColor(120, 124, 130), 4));
    for (int y = 160; y < 320; y += 26)
        painter.drawLine(280, y, y % 52 ? 520 : 440, y);
    painter.setPen(QPen(QColor(220, 60, 50), 10, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(585, 380, 615, 410);
    painter.drawLine(615, 380, 585, 410);
    painter.setPen(QColor(235, 238, 242));
    QFont font = painter.font();
    font.setPixelSize(28);
    painter.setFont(font);
    painter.drawText(QRectF(170, 520, 460, 50), Qt::AlignCenter,
                     QStringLiteral("printer stops after page 1"));
    return photo;
}

} // namespace

FeedbackScript::FeedbackScript(HostWindow* window, const Settings& settings, QObject* parent)
    : QObject(parent), m_window(window), m_settings(settings)
{
    connect(ZorToastNotifier::Instance(), &ZorToastNotifier::SigToastShown, this,
            &FeedbackScript::SlotToastShown);
    connect(m_window, &HostWindow::SigFeedbackIdListed, this,
            [this](const QString& feedbackId) { m_feedbackId = feedbackId; });
    connect(m_window, &HostWindow::SigRecordUrlListed, this,
            [this](const QString& url) { m_recordUrl = url; });
}

template<typename T>
T* FeedbackScript::DialogChild(const QString& name)
{
    T* child = m_dialog ? m_dialog->findChild<T*>(name) : nullptr;
    if (!child)
        Fail(QStringLiteral("the feedback dialog has no %1 \"%2\"")
                 .arg(QString::fromLatin1(T::staticMetaObject.className()), name));
    return child;
}

int FeedbackScript::Run()
{
    using Step = bool (FeedbackScript::*)();
    const QList<QPair<QString, Step>> steps{
        {QStringLiteral("show the host window"), &FeedbackScript::ShowHostWindow},
        {QStringLiteral("open the feedback dialog"), &FeedbackScript::OpenDialog},
        {QStringLiteral("wait for the categories"), &FeedbackScript::WaitForCategories},
        {QStringLiteral("choose a category"), &FeedbackScript::ChooseCategory},
        {QStringLiteral("describe the problem"), &FeedbackScript::DescribeProblem},
        {QStringLiteral("enter the telephone number"), &FeedbackScript::EnterPhone},
        {QStringLiteral("take a photo"), &FeedbackScript::MakePhoto},
        {QStringLiteral("attach the photo"), &FeedbackScript::AttachPhoto},
        {QStringLiteral("save a screenshot"), &FeedbackScript::SaveScreenshot},
        {QStringLiteral("ask for the history page"), &FeedbackScript::AskForHistoryPage},
        {QStringLiteral("submit"), &FeedbackScript::Submit},
        {QStringLiteral("see the dialog close"), &FeedbackScript::WaitForDialogClosed},
        {QStringLiteral("read the stored record"), &FeedbackScript::ReadStoredRecord},
    };
    for (int i = 0; i < steps.size(); ++i) {
        m_currentStep = steps.at(i).first;
        Print(QStringLiteral("[%1/%2] %3").arg(i + 1).arg(steps.size()).arg(m_currentStep));
        if (!(this->*steps.at(i).second)()) {
            Print(QStringLiteral("FAILED at step '%1': %2").arg(m_currentStep, m_failure));
            for (const QString& toast : qAsConst(m_failureToasts))
                Print(QStringLiteral("  failure message shown: %1").arg(toast));
            return 1;
        }
    }
    m_currentStep.clear();
    Print(QString());
    Print(QStringLiteral("feedback id: %1").arg(m_feedbackId));
    Print(QStringLiteral("photo: %1").arg(QDir::toNativeSeparators(m_settings.photoPath)));
    Print(
        QStringLiteral("screenshot: %1").arg(QDir::toNativeSeparators(m_settings.screenshotPath)));
    Print(QStringLiteral("history page: %1").arg(m_recordUrl));
    Print(QStringLiteral("stored record:"));
    Print(
        QString::fromUtf8(QJsonDocument(m_storedRecord).toJson(QJsonDocument::Indented)).trimmed());
    return 0;
}

void FeedbackScript::SlotToastShown(const QString& text, int type, QWidget* parent)
{
    Q_UNUSED(parent)
    Print(QStringLiteral("  message: %1").arg(text));
    if (type == TOAST_FAILED)
        m_failureToasts.append(text);
}

bool FeedbackScript::ShowHostWindow()
{
    m_window->show();
    if (!QTest::qWaitForWindowExposed(m_window, kStepTimeoutMs))
        return Fail(
            QStringLiteral("the host window was not shown within %1 s").arg(kStepTimeoutMs / 1000));
    return true;
}

bool FeedbackScript::OpenDialog()
{
    QTest::mouseClick(m_window->GetReportButton(), Qt::LeftButton);
    const auto findDialog = [this] {
        for (QWidget* child : m_window->findChildren<QWidget*>()) {
            if (child->isWindow() && child->isVisible() && child->inherits("ZorConsultDialog"))
                m_dialog = child;
        }
        return !m_dialog.isNull();
    };
    if (!WaitFor(findDialog, kStepTimeoutMs, QStringLiteral("no feedback dialog appeared")))
        return false;
    if (!QTest::qWaitForWindowExposed(m_dialog, kStepTimeoutMs))
        return Fail(QStringLiteral("the feedback dialog was not shown on the screen"));
    return true;
}

bool FeedbackScript::WaitForCategories()
{
    m_picker = DialogChild<ZorCategoryComBox>(QStringLiteral("typeEdit"));
    if (!m_picker)
        return false;
    return WaitFor([this] { return m_picker && !m_picker->GetListData().isEmpty(); },
                   kCategoriesTimeoutMs, QStringLiteral("the category picker stayed empty"));
}

bool FeedbackScript::ChooseCategory()
{
    if (!m_picker)
        return Fail(QStringLiteral("the category picker is gone"));
    QTest::mouseClick(m_picker, Qt::LeftButton);
    if (!WaitFor([this] { return m_picker && m_picker->IsPopupVisible(); }, kStepTimeoutMs,
                 QStringLiteral("a click on the category picker opened no list")))
        return false;
    if (!ClickListItem(QStringLiteral("firstLevelList")))
        return false;
    // A first-level category without children is a choice of its own and closes the list.
    const bool chosenAlone =
        m_picker && !m_picker->IsPopupVisible() && m_picker->GetFirstLevelId().isValid();
    if (!chosenAlone && !ClickListItem(QStringLiteral("secondLevelList")))
        return false;
    if (!WaitFor(
            [this] {
                return m_picker && !m_picker->IsPopupVisible() &&
                       m_picker->GetFirstLevelId().isValid() && !m_picker->text().isEmpty();
            },
            kStepTimeoutMs, QStringLiteral("the picker took no category")))
        return false;
    Print(QStringLiteral("  chosen: %1").arg(m_picker->text()));
    return true;
}

bool FeedbackScript::ClickListItem(const QString& listName)
{
    QWidget* popup = m_picker ? m_picker->GetPopup() : nullptr;
    QListWidget* list = popup ? popup->findChild<QListWidget*>(listName) : nullptr;
    if (!list)
        return Fail(QStringLiteral("the category list has no \"%1\"").arg(listName));
    if (!WaitFor([list] { return list->isVisible() && list->count() > 0; }, kStepTimeoutMs,
                 QStringLiteral("\"%1\" offered no entry").arg(listName)))
        return false;
    QListWidgetItem* item = list->item(0);
    list->scrollToItem(item);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualItemRect(item).center());
    return true;
}

bool FeedbackScript::DescribeProblem()
{
    auto* edit = DialogChild<QTextEdit>(QStringLiteral("textEdit"));
    if (!edit)
        return false;
    QTest::mouseClick(edit->viewport(), Qt::LeftButton);
    TypeText(edit, m_settings.description);
    const QString typed = edit->toPlainText();
    if (m_settings.description.size() <= 250 && typed != m_settings.description)
        return Fail(QStringLiteral("the description reads \"%1\" after typing \"%2\"")
                        .arg(typed, m_settings.description));
    return true;
}

bool FeedbackScript::EnterPhone()
{
    auto* edit = DialogChild<QLineEdit>(QStringLiteral("phoneEdit"));
    if (!edit)
        return false;
    QTest::mouseClick(edit, Qt::LeftButton);
    // The field admits at most eleven digits; what it refuses shows up as the dialog's own
    // message on submit.
    TypeText(edit, m_settings.phone);
    if (edit->text() != m_settings.phone)
        Print(QStringLiteral("  the telephone field took \"%1\"").arg(edit->text()));
    return true;
}

bool FeedbackScript::MakePhoto()
{
    QDir().mkpath(QFileInfo(m_settings.photoPath).absolutePath());
    if (!MakeDemoPhoto().save(m_settings.photoPath, "JPEG", 90))
        return Fail(
            QStringLiteral("cannot write %1").arg(QDir::toNativeSeparators(m_settings.photoPath)));
    return true;
}

bool FeedbackScript::AttachPhoto()
{
    auto* upload = DialogChild<QWidget>(QStringLiteral("uploadWidget"));
    if (!upload)
        return false;
    // The dialog asks for the file with a modal file dialog, which the click below only
    // returns from once the dialog is closed: a timer does the choosing meanwhile.
    m_fileDialogOutcome = QStringLiteral("no file dialog opened");
    QTimer poll;
    poll.setInterval(50);
    QElapsedTimer clock;
    clock.start();
    connect(&poll, &QTimer::timeout, this, [this, &poll, &clock] {
        if (auto* fileDialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            poll.stop();
            ChooseFileInDialog(fileDialog);
        } else if (clock.elapsed() > kStepTimeoutMs) {
            poll.stop();
        }
    });
    poll.start();
    QTest::mouseClick(upload, Qt::LeftButton);
    poll.stop();
    if (!m_fileDialogOutcome.isEmpty())
        return Fail(m_fileDialogOutcome);
    return WaitFor([this] { return FindThumbnail() != nullptr; }, kStepTimeoutMs,
                   QStringLiteral("no thumbnail of the photo appeared"));
}

void FeedbackScript::ChooseFileInDialog(QFileDialog* fileDialog)
{
    auto* nameEdit = fileDialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = fileDialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QPushButton* open = buttons ? buttons->button(QDialogButtonBox::Open) : nullptr;
    if (!nameEdit || !open) {
        m_fileDialogOutcome = QStringLiteral("the file dialog has no file name field");
        fileDialog->reject();
        return;
    }
    // Typed keys would race the file name completer, whose popup fills from another thread
    // and takes the keyboard when it opens; the name goes in whole, as pasted.
    QTest::mouseClick(nameEdit, Qt::LeftButton);
    nameEdit->setText(QDir::toNativeSeparators(m_settings.photoPath));
    // The dialog checks the name before it enables its button.
    const bool bOpenEnabled = QTest::qWaitFor([open] { return open->isEnabled(); }, kStepTimeoutMs);
    QTest::mouseClick(open, Qt::LeftButton);
    if (fileDialog->isVisible()) {
        m_fileDialogOutcome =
            QStringLiteral("the file dialog did not take %1 (name field: '%2', "
                           "open button %3)")
                .arg(QDir::toNativeSeparators(m_settings.photoPath), nameEdit->text(),
                     bOpenEnabled ? QStringLiteral("enabled") : QStringLiteral("disabled"));
        fileDialog->reject();
        return;
    }
    m_fileDialogOutcome.clear();
}

QLabel* FeedbackScript::FindThumbnail() const
{
    if (!m_dialog)
        return nullptr;
    for (QLabel* label : m_dialog->findChildren<QLabel*>()) {
        if (label->inherits("UploadImageLabel") && label->isVisible() &&
            !label->pixmap(Qt::ReturnByValue).isNull())
            return label;
    }
    return nullptr;
}

bool FeedbackScript::SaveScreenshot()
{
    if (!m_dialog)
        return Fail(QStringLiteral("the feedback dialog is gone"));
    QDir().mkpath(QFileInfo(m_settings.screenshotPath).absolutePath());
    // Layouts settle on posted requests; the picture shows the dialog as the user sees it.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    if (!m_dialog->window()->grab().save(m_settings.screenshotPath, "PNG"))
        return Fail(QStringLiteral("cannot write %1")
                        .arg(QDir::toNativeSeparators(m_settings.screenshotPath)));
    return true;
}

bool FeedbackScript::AskForHistoryPage()
{
    return ClickAndAwaitReport(QStringLiteral("recordButton"), m_recordUrl, kStepTimeoutMs,
                               QStringLiteral("the host was given no history page address"));
}

bool FeedbackScript::Submit()
{
    return ClickAndAwaitReport(QStringLiteral("submitButton"), m_feedbackId, kSubmitTimeoutMs,
                               QStringLiteral("the host heard of no submitted feedback"));
}

bool FeedbackScript::ClickAndAwaitReport(const QString& buttonName, QString& report, int timeoutMs,
                                         const QString& what)
{
    auto* button = DialogChild<QPushButton>(buttonName);
    if (!button)
        return false;
    report.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    return WaitFor([&report] { return !report.isEmpty(); }, timeoutMs, what);
}

bool FeedbackScript::WaitForDialogClosed()
{
    return WaitFor([this] { return m_dialog.isNull(); }, kStepTimeoutMs,
                   QStringLiteral("the dialog stayed after a successful submission"));
}

bool FeedbackScript::ReadStoredRecord()
{
    QNetworkAccessManager network;
    QScopedPointer<QNetworkReply> reply(
        network.get(QNetworkRequest(QUrl(HostSetup::RecordsUrl(m_settings.serviceUrl)))));
    if (!WaitFor([&reply] { return reply->isFinished(); }, kStepTimeoutMs,
                 QStringLiteral("the service did not list its records"))) {
        reply->abort();
        return false;
    }
    if (reply->error() != QNetworkReply::NoError)
        return Fail(
            QStringLiteral("GET %1: %2").arg(reply->url().toString(), reply->errorString()));
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(reply->readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isArray())
        return Fail(QStringLiteral("GET %1 gave no JSON array").arg(reply->url().toString()));
    for (const QJsonValue& entry : document.array()) {
        const QJsonObject record = entry.toObject();
        if (record.value(QStringLiteral("id")).toVariant().toString() == m_feedbackId) {
            m_storedRecord = record;
            return true;
        }
    }
    return Fail(QStringLiteral("the service has no record with the id %1").arg(m_feedbackId));
}

bool FeedbackScript::WaitFor(const std::function<bool()>& done, int timeoutMs, const QString& what)
{
    const int failuresBefore = m_failureToasts.size();
    const bool settled = QTest::qWaitFor(
        [&] { return done() || m_failureToasts.size() > failuresBefore; }, timeoutMs);
    if (!settled)
        return Fail(QStringLiteral("%1 within %2 s").arg(what).arg(timeoutMs / 1000));
    if (done())
        return true;
    return Fail(QStringLiteral("%1; the dialog said \"%2\"").arg(what, m_failureToasts.last()));
}

bool FeedbackScript::Fail(const QString& reason)
{
    m_failure = reason;
    return false;
}
