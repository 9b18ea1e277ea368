#include "ZorConsultDialog.h"

#include "ConsultBusinessTypeEntity.h"
#include "ConsultDescEntity.h"
#include "ConsultSubmitDescRequest.h"
#include "ConsultSubmitDescResponse.h"
#include "DpiTool.h"
#include "HttpNotifyManager.h"
#include "KivConsultGlobals.h"
#include "PalGlobalAsync.h"
#include "PalImageUtils.h"
#include "UIUtils.h"
#include "UploadImageLabel.h"
#include "UploadImageLoader.h"
#include "UploadImageWidget.h"
#include "ZorCacheManager.h"
#include "ZorCategoryComBox.h"
#include "ZorCodeTracking.h"
#include "ZorConsultDialogForm.h"
#include "ZorConsultLogic.h"
#include "ZorIconButtonWidget.h"
#include "ZorPushButton.h"
#include "ZorToast.h"

#include <QAction>
#include <QClipboard>
#include <QDataStream>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QProcess>
#include <QRegExp>
#include <QRegExpValidator>
#include <QTextCursor>
#include <QTextEdit>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace {

// A chosen file is accepted when its content is shorter than this.
constexpr qint64 kMaxImageBytes = 2097152;

const char* const kErroredProperty = "errored";

int S(int value)
{
    return DpiTool::ScaleDefault(value);
}

void SetErrored(QWidget* widget, bool bErrored)
{
    widget->setProperty(kErroredProperty, bErrored);
    UIUtils::UpdateStyle(widget);
}

QRegExp PhonePattern()
{
    return QRegExp(QStringLiteral("^[0-9]{11}$"), Qt::CaseSensitive, QRegExp::RegExp);
}

// What makes a submission the same feedback as one sent before: what the user entered and
// the attached images. An image's address is left out: an image whose upload failed gets a
// new address when it is uploaded again, yet it is the same attached file.
QByteArray ContentKey(const ConsultDescEntity& desc)
{
    QByteArray key;
    QDataStream stream(&key, QIODevice::WriteOnly);
    stream << qint64(desc.GetStartBusinessCode1()) << desc.GetStartBusinessName1()
           << qint64(desc.GetStartBusinessCode2()) << desc.GetStartBusinessName2()
           << desc.GetTelphone() << desc.GetQuestionDesc() << desc.GetSourceType()
           << desc.GetBrowserVersion();
    for (const auto& image : desc.GetFileList())
        stream << (image ? image->fileName : QString());
    return key;
}

void LogOpenForReadFail(const QFile& file, int line, const char* function)
{
    const QString location = QStringLiteral("%1[%2] %3 ")
                                 .arg(QFileInfo(QStringLiteral(__FILE__)).fileName(),
                                      QString::number(line), QString::fromLatin1(function));
    ZorCodeTracking::Info(
        g_trackCodeOpenFileForReadFail, QStringLiteral("OpenFileForReadFail"),
        QStringLiteral("Error opening file %1, error: %2").arg(file.fileName(), file.errorString()),
        -99999, QString(), location);
}

} // namespace

ZorConsultDialog::ZorConsultDialog(QWidget* parent)
    : ZorBaseDialog(parent, Qt::WindowCloseButtonHint, BaseDialogTitle::TitleClose, false)
    , m_ui(new ZorConsultDialogForm)
{
    // Hosts find the dialog by this name, as their style sheets and tests do its fields.
    setObjectName(QStringLiteral("ZorConsultDialog"));
    m_ui->setupUi(GetContentWidget());
    InitUI();
    InitConnect();
    InitKeyboard();
    AdjustLayout();

    HttpNotifyManager::Instance()->AddObserver(this, MSG_CONSULT_SUBMIT_DESC);
    HttpNotifyManager::Instance()->AddObserver(this, MSG_CONSULT_BUSINESS_TYPE);
}

ZorConsultDialog::~ZorConsultDialog()
{
    HttpNotifyManager::Instance()->RemoveAllMessage(this);
    delete m_ui;
}

void ZorConsultDialog::InitUI()
{
    setAttribute(Qt::WA_DeleteOnClose);

    m_pUploadWidget = new UploadImageWidget(this);
    // The strip takes the height the operation row leaves; the row stays one button high.
    m_ui->uploadVerticalLayout->addWidget(m_pUploadWidget, 1);

    m_ui->typeEdit->setCursor(Qt::PointingHandCursor);

    for (ZorIconButtonWidget* button : {m_ui->uploadWidget, m_ui->captureWidget}) {
        button->SetSpacing(6);
        button->SetContentsMargins(16, 8, 16, 8);
        button->setCursor(Qt::PointingHandCursor);
        // They react to Space and Enter: Tab must reach them, or the keyboard cannot attach.
        button->setFocusPolicy(Qt::StrongFocus);
    }

    // The tip shows whole, wrapped over as many lines as its width needs; the operation row
    // grows for them (SlotUpdateHeight), so they never squeeze the thumbnails below.
    m_ui->imgtipLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_ui->imgtipLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    m_ui->horizontalLayoutOperation->setAlignment(m_ui->imgtipLabel, Qt::AlignVCenter);
    // In a row grown for the tip the buttons stay level with the row's label.
    m_ui->horizontalLayoutOperation->setAlignment(m_ui->uploadWidget, Qt::AlignTop);
    m_ui->horizontalLayoutOperation->setAlignment(m_ui->captureWidget, Qt::AlignTop);
    // Its width is known once laid out, and its text may change with the language.
    m_ui->imgtipLabel->installEventFilter(this);
    m_ui->uploadImageWidget->installEventFilter(this);
    GetContentWidget()->installEventFilter(this);

    m_ui->phoneEdit->setValidator(new QRegExpValidator(PhonePattern(), m_ui->phoneEdit));

    // Pictures and files come in by paste and by drop as well. The text fields keep pasting
    // and taking dropped text; files dragged over them are the dialog's.
    auto* paste = new QAction(this);
    paste->setObjectName(QStringLiteral("pasteAction"));
    paste->setShortcuts(QKeySequence::Paste);
    paste->setShortcutContext(Qt::WindowShortcut);
    addAction(paste);
    connect(paste, &QAction::triggered, this, &ZorConsultDialog::SlotPaste);
    setAcceptDrops(true);
    m_ui->textEdit->viewport()->installEventFilter(this);
    m_ui->phoneEdit->installEventFilter(this);
    m_pDropHighlight = new QFrame(m_ui->uploadImageWidget);
    m_pDropHighlight->setObjectName(QStringLiteral("dropHighlight"));
    m_pDropHighlight->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_pDropHighlight->setStyleSheet(QStringLiteral(
        "#dropHighlight { border: 2px dashed palette(highlight); background: transparent; }"));
    m_pDropHighlight->hide();

    m_ui->recordButton->SetBusiness(Zor::BusinessMerchant);
    m_ui->recordButton->SetButtonType(ZorPushButton::TypeText);
    m_ui->submitButton->SetBusiness(Zor::BusinessMerchant);
    m_ui->submitButton->SetButtonType(ZorPushButton::TypePrimary);
    m_ui->cancelButton->SetBusiness(Zor::BusinessMerchant);
    m_ui->cancelButton->SetButtonType(ZorPushButton::TypeSecondary);

    RetranslateUi();
}

void ZorConsultDialog::RetranslateUi()
{
    m_ui->retranslateUi(GetContentWidget());
    SetTitleText(tr("Problem FeedBack"), true);
    ShowCount(m_ui->textEdit->toPlainText().length());
    m_ui->uploadWidget->GetLabelText()->setText(tr("Upload"));
    m_ui->captureWidget->GetLabelText()->setText(tr("Capture"));
    m_ui->imgtipLabel->setText(ImageTipText());
    m_ui->imgtipLabel->setToolTip(m_ui->imgtipLabel->text());
    m_ui->phoneEdit->setPlaceholderText(tr("Please enter your telephone number"));
    ShowSubmitState();

    // What assistive technology reads: the labels' texts name the fields (without the colon),
    // the descriptions say what a field wants.
    const auto nameOf = [](const QLabel* label) {
        QString name = label->text().trimmed();
        while (name.endsWith(QLatin1Char(':')) || name.endsWith(QChar(0xFF1A)))
            name.chop(1);
        return name;
    };
    m_ui->typeEdit->setAccessibleName(nameOf(m_ui->typeLabel));
    m_ui->typeEdit->setAccessibleDescription(
        tr("Required. Press Space or Down to open the list of categories"));
    m_ui->textEdit->setAccessibleName(nameOf(m_ui->detailLabel));
    m_ui->textEdit->setAccessibleDescription(
        tr("Required, at most %1 characters").arg(kMaxDescLength));
    m_ui->phoneEdit->setAccessibleName(nameOf(m_ui->phoneLabel));
    m_ui->phoneEdit->setAccessibleDescription(tr("Required, 11 digits"));
    m_ui->uploadWidget->setAccessibleName(m_ui->uploadWidget->GetLabelText()->text());
    m_ui->uploadWidget->setAccessibleDescription(m_ui->imgtipLabel->text());
    m_ui->captureWidget->setAccessibleName(m_ui->captureWidget->GetLabelText()->text());
    m_ui->captureWidget->setAccessibleDescription(tr("Takes a picture of the screen"));
    m_ui->recordButton->setAccessibleDescription(
        tr("Opens the history of your feedback in the browser"));
    m_ui->submitButton->setAccessibleDescription(tr("Ctrl+Enter submits from any field"));
}

void ZorConsultDialog::InitKeyboard()
{
    // Ctrl+Enter does from any field what pressing Submit does (nothing while it is busy).
    auto* submitAction = new QAction(this);
    submitAction->setObjectName(QStringLiteral("submitShortcut"));
    submitAction->setShortcuts(
        {QKeySequence(Qt::CTRL + Qt::Key_Return), QKeySequence(Qt::CTRL + Qt::Key_Enter)});
    submitAction->setShortcutContext(Qt::WindowShortcut);
    addAction(submitAction);
    connect(submitAction, &QAction::triggered, m_ui->submitButton, &QPushButton::click);

    FirstField()->setFocus(Qt::OtherFocusReason);
}

QWidget* ZorConsultDialog::FirstField() const
{
    return m_bShowType ? static_cast<QWidget*>(m_ui->typeEdit) : m_ui->textEdit;
}

QList<QWidget*> ZorConsultDialog::TabOrder() const
{
    QList<QWidget*> order{m_ui->typeEdit, m_ui->textEdit, m_ui->uploadWidget, m_ui->captureWidget};
    // The thumbnails' delete buttons, left to right, between the buttons that add images and
    // the telephone number; also the one of a thumbnail that is just going, whose focus then
    // passes to the next.
    const QLayout* strip = m_pUploadWidget->layout();
    QList<UploadImageLabel*> labels = m_pUploadWidget->findChildren<UploadImageLabel*>();
    labels.erase(
        std::remove_if(labels.begin(), labels.end(),
                       [strip](UploadImageLabel* label) { return strip->indexOf(label) < 0; }),
        labels.end());
    std::sort(labels.begin(), labels.end(), [strip](UploadImageLabel* a, UploadImageLabel* b) {
        return strip->indexOf(a) < strip->indexOf(b);
    });
    for (const UploadImageLabel* label : qAsConst(labels))
        order << label->GetDeleteButton();
    order << m_ui->phoneEdit << m_ui->recordButton << m_ui->submitButton << m_ui->cancelButton;
    return order;
}

bool ZorConsultDialog::focusNextPrevChild(bool next)
{
    const QList<QWidget*> order = TabOrder();
    const int current = order.indexOf(focusWidget());
    if (current < 0)
        return ZorBaseDialog::focusNextPrevChild(next);
    // Hidden (the category row in fixed-category mode) and disabled (Submit while busy)
    // widgets are passed over; the current one may have just become one of them.
    const int count = order.size();
    for (int step = 1; step < count; ++step) {
        QWidget* candidate = order.at((current + (next ? step : count - step)) % count);
        auto* label = qobject_cast<UploadImageLabel*>(candidate->parentWidget());
        if (!candidate->isEnabled() || !(candidate->focusPolicy() & Qt::TabFocus) ||
            !(label ? label : candidate)->isVisibleTo(this))
            continue;
        const Qt::FocusReason reason = next ? Qt::TabFocusReason : Qt::BacktabFocusReason;
        if (label)
            label->FocusDeleteButton(reason);
        else
            candidate->setFocus(reason);
        return true;
    }
    return false;
}

void ZorConsultDialog::focusInEvent(QFocusEvent* event)
{
    ZorBaseDialog::focusInEvent(event);
    // The frame takes no input itself (the host focuses the dialog as a whole): the focus goes
    // on to the first field.
    if (!focusWidget() || focusWidget() == this)
        FirstField()->setFocus(event->reason());
}

void ZorConsultDialog::SetSubmitting(bool bSubmitting)
{
    QPushButton* submit = m_ui->submitButton;
    const bool bSubmitFocused = focusWidget() == submit;
    m_bSubmitting = bSubmitting;
    ShowSubmitState();
    // Qt hands the focus of a button that turns disabled to the next field; a keyboard user
    // who pressed Submit finds it there again once the submission ends.
    if (bSubmitting) {
        m_pBusyFocus = bSubmitFocused ? focusWidget() : nullptr;
    } else {
        if (m_pBusyFocus && focusWidget() == m_pBusyFocus)
            submit->setFocus(Qt::OtherFocusReason);
        m_pBusyFocus = nullptr;
    }
}

void ZorConsultDialog::ShowSubmitState()
{
    m_ui->submitButton->setEnabled(!m_bSubmitting);
    m_ui->submitButton->setText(m_bSubmitting ? tr("Submitting\xE2\x80\xA6") : tr("Submit"));
}

QString ZorConsultDialog::ImageTipText() const
{
    return tr(
        "Upload a maximum of 5 files in JPG/PNG format and the size of the image is within 2M");
}

void ZorConsultDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange)
        RetranslateUi();
    ZorBaseDialog::changeEvent(event);
}

void ZorConsultDialog::ShowCount(int length)
{
    m_ui->countLabel->setText(tr("%1/%2").arg(length).arg(kMaxDescLength));
}

void ZorConsultDialog::InitConnect()
{
    connect(m_pUploadWidget, &UploadImageWidget::SigUpdateHeight, this,
            &ZorConsultDialog::SlotUpdateHeight);
    connect(m_pUploadWidget, &UploadImageWidget::SigUpdateStyle, this,
            &ZorConsultDialog::SlotUpdateImageStyle);
    connect(m_pUploadWidget, &UploadImageWidget::SigUploadResult, this,
            &ZorConsultDialog::SlotUploadImageResult);
    connect(m_pUploadWidget, &UploadImageWidget::SigLoadFailed, this,
            &ZorConsultDialog::SlotImageLoadFailed);
    connect(m_ui->uploadWidget, &ZorIconButtonWidget::SigClicked, this,
            &ZorConsultDialog::SlotUploadClicked);
    connect(m_ui->captureWidget, &ZorIconButtonWidget::SigClicked, this,
            &ZorConsultDialog::SlotCaptureClicked);
    connect(m_ui->textEdit, &QTextEdit::textChanged, this,
            &ZorConsultDialog::SlotDescriptionChanged);
    connect(m_ui->phoneEdit, &QLineEdit::textChanged, this, &ZorConsultDialog::SlotPhoneChanged);
    connect(m_ui->recordButton, &QPushButton::clicked, this, &ZorConsultDialog::SlotRecord);
    connect(m_ui->submitButton, &QPushButton::clicked, this, &ZorConsultDialog::SlotSubmit);
    connect(m_ui->cancelButton, &QPushButton::clicked, this, &ZorConsultDialog::SlotCancel);
}

void ZorConsultDialog::AdjustLayout()
{
    setFixedWidth(S(532));
    SlotUpdateHeight(false);
    m_ui->horizontalLayoutRoot->setContentsMargins(S(28), S(20), S(28), S(20));
    m_ui->gridLayout->setHorizontalSpacing(S(4));
    m_ui->gridLayout->setVerticalSpacing(S(20));
    m_ui->uploadVerticalLayout->setSpacing(S(8));
    m_ui->horizontalLayoutOperation->setSpacing(S(12));
    m_ui->btnHorizontalLayout->setSpacing(S(12));
    // The description may give up room to a tip on several lines, down to two or three lines
    // of its own (a scroll area would otherwise insist on its scroll bars' height).
    m_ui->textEdit->setMinimumHeight(S(48));
}

int ZorConsultDialog::TipOverflow() const
{
    // What the wrapped tip needs beyond the one-button-high operation row.
    const QLabel* tip = m_ui->imgtipLabel;
    return qMax(0, tip->heightForWidth(tip->width()) - S(34));
}

bool ZorConsultDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Files dragged over the description or the telephone number are the dialog's drop; text
    // stays the field's.
    if (TakeFileDrag(event))
        return true;
    const bool bTipResized = watched == m_ui->imgtipLabel && event->type() == QEvent::Resize;
    const bool bTipChanged =
        watched == m_ui->uploadImageWidget && event->type() == QEvent::LayoutRequest;
    if (bTipResized || bTipChanged)
        SlotUpdateHeight(m_bLargeUpload);
    if (watched == GetContentWidget() && event->type() == QEvent::LayoutRequest)
        FitDialogHeight();
    return ZorBaseDialog::eventFilter(watched, event);
}

void ZorConsultDialog::FitDialogHeight()
{
    // Only a laid-out dialog knows what its widgets need.
    QWidget* content = GetContentWidget();
    if (!content->isVisible())
        return;
    content->layout()->activate();
    // A tip that needs more room than the description can give grows the dialog by the rest;
    // once it needs less, the dialog returns towards its own height.
    const int growth =
        qMax(0, m_dialogGrowth + content->minimumSizeHint().height() - content->height());
    if (growth == m_dialogGrowth)
        return;
    m_dialogGrowth = growth;
    SlotUpdateHeight(m_bLargeUpload);
}

void ZorConsultDialog::AdjustForDpi()
{
    ZorBaseDialog::AdjustForDpi();
    AdjustLayout();
    if (m_pUploadWidget->HasImage())
        SlotUpdateHeight(true);
}

bool ZorConsultDialog::IsMovable() const
{
    return true;
}

void ZorConsultDialog::SetBrowserVersion(const QString& text)
{
    m_browserVersion = text;
}

void ZorConsultDialog::SetFixedTypeMode()
{
    m_bShowType = false;
    m_ui->recordButton->hide();
    disconnect(m_ui->recordButton, &QPushButton::clicked, this, &ZorConsultDialog::SlotRecord);
    m_ui->typeAsterisk->hide();
    m_ui->typeLabel->hide();
    m_ui->typeEdit->hide();
    if (!focusWidget() || focusWidget() == m_ui->typeEdit)
        FirstField()->setFocus(Qt::OtherFocusReason);
}

void ZorConsultDialog::InitData()
{
    ZorConsultManager* manager = ZorConsultLogic::Instance()->GetManager();
    QList<QSharedPointer<ZorCategoryItemData>> items;
    const int count = manager->GetBusinessTypeCount();
    for (int i = 0; i < count; ++i) {
        const QSharedPointer<ConsultBusinessTypeEntity> entity = manager->GetBusinessTypeAt(i);
        if (!entity)
            continue;
        auto item = QSharedPointer<ZorCategoryItemData>::create();
        item->id = QVariant(entity->businessTypeCode);
        item->name = entity->businessTypeName;
        // The picker offers two levels; deeper categories are not offered.
        for (const auto& child : entity->GetChildren()) {
            auto childItem = QSharedPointer<ZorCategoryItemData>::create();
            childItem->id = QVariant(child->businessTypeCode);
            childItem->name = child->businessTypeName;
            item->children.append(childItem);
        }
        items.append(item);
    }
    m_ui->typeEdit->SetListData(items);
    SelectDefaultType();
}

void ZorConsultDialog::SelectDefaultType()
{
    // With the category row hidden the user cannot choose, so the first category stands.
    ZorConsultManager* manager = ZorConsultLogic::Instance()->GetManager();
    if (m_bShowType || manager->GetBusinessTypeCount() < 1)
        return;
    const QSharedPointer<ConsultBusinessTypeEntity> entity = manager->GetBusinessTypeAt(0);
    if (!entity)
        return;
    const auto children = entity->GetChildren();
    if (children.isEmpty())
        return;
    m_ui->typeEdit->SetCurrentId(QVariant(entity->businessTypeCode),
                                 QVariant(children.first()->businessTypeCode));
}

void ZorConsultDialog::SlotDescriptionChanged()
{
    SetErrored(m_ui->textEdit, false);
    SetErrored(m_ui->countLabel, false);

    QString text = m_ui->textEdit->toPlainText();
    const int length = text.length();
    if (length <= kMaxDescLength) {
        ShowCount(length);
        return;
    }

    // What was just typed or pasted ends at the cursor: the excess is taken from there, so
    // the beginning of an insertion is kept.
    const int cursor = m_ui->textEdit->textCursor().position();
    int start = cursor - (length - kMaxDescLength);
    int end = cursor;
    if (start < 0) {
        // Text set as a whole (the cursor stands before the excess): keep its beginning.
        start = kMaxDescLength;
        end = length;
    }
    // A character outside the Basic Multilingual Plane is two code units; it goes whole.
    if (start > 0 && text.at(start - 1).isHighSurrogate() && text.at(start).isLowSurrogate())
        --start;
    if (end < length && text.at(end - 1).isHighSurrogate() && text.at(end).isLowSurrogate())
        ++end;
    text.remove(start, end - start);

    // Plain text, so that a description that looks like markup stays as it was typed. This
    // runs the slot again, which shows the new count.
    m_ui->textEdit->setPlainText(text);
    QTextCursor textCursor = m_ui->textEdit->textCursor();
    textCursor.setPosition(start);
    m_ui->textEdit->setTextCursor(textCursor);
}

void ZorConsultDialog::SlotPhoneChanged()
{
    if (m_ui->phoneEdit->property(kErroredProperty).toBool())
        SetErrored(m_ui->phoneEdit, false);
}

void ZorConsultDialog::SlotSubmit()
{
    if (m_bSubmitting)
        return;

    if (m_ui->typeEdit->text().isEmpty() || !m_ui->typeEdit->GetFirstLevelId().isValid()) {
        ZorToast::Show(tr("Please select the type of question"), TOAST_FAILED, this);
        m_ui->typeEdit->SetErrorStyle(true);
        return;
    }

    if (m_ui->textEdit->toPlainText().isEmpty()) {
        ZorToast::Show(tr("Problem description is required"), TOAST_FAILED, this);
        m_ui->textEdit->setFocus(Qt::OtherFocusReason);
        SetErrored(m_ui->textEdit, true);
        SetErrored(m_ui->countLabel, true);
        return;
    }

    if (!CheckPhone())
        return;

    SetSubmitting(true);
    if (m_pUploadWidget->HasImage()) {
        // Set first: the strip may report at once when every image already has an address.
        m_bWaitingUpload = true;
        m_pUploadWidget->UploadImages();
    } else {
        SubmitFeedback();
    }
}

bool ZorConsultDialog::CheckPhone()
{
    const QString text = m_ui->phoneEdit->text();
    QString failure;
    if (text.isEmpty())
        failure = tr("Cell phone number is required");
    else if (!PhonePattern().exactMatch(text))
        failure = tr("Wrong cell phone number");

    if (!failure.isEmpty()) {
        ZorToast::Show(failure, TOAST_FAILED, this);
        m_ui->phoneEdit->setFocus(Qt::OtherFocusReason);
    }
    SetErrored(m_ui->phoneEdit, !failure.isEmpty());
    return failure.isEmpty();
}

void ZorConsultDialog::SubmitFeedback()
{
    const QString id1 = m_ui->typeEdit->GetFirstLevelId().toString();
    const QString id2 = m_ui->typeEdit->GetSecondLevelId().toString();

    const QSharedPointer<ConsultBusinessTypeEntity> entity =
        ZorConsultLogic::Instance()->GetManager()->GetBusinessTypeByCode(id1);
    if (!entity) {
        // The cache was replaced since the category was chosen.
        SetSubmitting(false);
        ZorToast::Show(tr("the type of question isn't available"), TOAST_FAILED, this);
        m_ui->typeEdit->SetErrorStyle(true);
        return;
    }

    QString name2;
    for (const auto& child : entity->GetChildren()) {
        if (child->businessTypeCode == id2) {
            name2 = child->businessTypeName;
            break;
        }
    }

    auto desc = QSharedPointer<ConsultDescEntity>::create();
    desc->SetStartBusinessCode1(id1.toLong(nullptr, 10));
    desc->SetStartBusinessName1(entity->businessTypeName);
    desc->SetStartBusinessCode2(id2.toLong(nullptr, 10));
    desc->SetStartBusinessName2(name2);
    desc->SetTelphone(m_ui->phoneEdit->text());
    desc->SetQuestionDesc(m_ui->textEdit->toPlainText().trimmed());
    desc->SetBrowserVersion(m_browserVersion);
    if (!m_bShowType)
        desc->SetSourceType(QStringLiteral("3"));
    desc->SetFileList(m_pUploadWidget->GetImageList());

    const QByteArray content = ContentKey(*desc);
    m_submitIdentity =
        ZorConsultLogic::Instance()->SubmitDesc(desc, m_sentIdentities.value(content));
    m_sentIdentities.insert(content, m_submitIdentity);
}

void ZorConsultDialog::HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                                     QSharedPointer<IHttpResponse> response)
{
    if (id == MSG_CONSULT_BUSINESS_TYPE) {
        if (response && response->IsSuccess())
            InitData();
        else
            ZorToast::Show(tr("Failed to get the problem type, please reopen the page"),
                           TOAST_FAILED, this);
        return;
    }
    if (id != MSG_CONSULT_SUBMIT_DESC)
        return;

    SetSubmitting(false);
    auto* submitRequest =
        qobject_cast<ConsultSubmitDescRequest*>(dynamic_cast<QObject*>(request.data()));
    if (!submitRequest || submitRequest->GetIdentity() != m_submitIdentity)
        return;

    if (!response) {
        ZorToast::Show(tr("Problem feedback submitted failed"), TOAST_FAILED, this);
        return;
    }
    if (!response->IsSuccess()) {
        ZorToast::Show(response->GetErrorDesc(), TOAST_FAILED, this);
        return;
    }

    const auto* submitResponse =
        qobject_cast<ConsultSubmitDescResponse*>(dynamic_cast<QObject*>(response.data()));
    const QString feedbackId = submitResponse ? submitResponse->GetFeedbackId() : QString();
    // Whatever is submitted next is new feedback.
    m_sentIdentities.clear();
    ZorToast::Show(tr("Problem feedback submitted successfully"), TOAST_SUCCESS);
    const QPointer<ZorConsultDialog> self(this);
    emit SigSubmitSuccess(feedbackId);
    // A receiver may have closed or destroyed the dialog already.
    if (self)
        close();
}

void ZorConsultDialog::SlotUpdateHeight(bool bLarge)
{
    m_bLargeUpload = bLarge;
    const int hiddenRow = m_bShowType ? 0 : S(50);
    // A tip on more lines takes its room from the description, and only what that cannot
    // give from a taller dialog (FitDialogHeight).
    m_ui->uploadImageWidget->setFixedHeight(S(bLarge ? 108 : 34) + TipOverflow());
    setFixedHeight(S(bLarge ? 474 : 400) - hiddenRow + m_dialogGrowth);
}

void ZorConsultDialog::SlotUpdateImageStyle(bool bDisable)
{
    for (ZorIconButtonWidget* button : {m_ui->uploadWidget, m_ui->captureWidget}) {
        button->SetDisableStyle(bDisable);
        button->setCursor(bDisable ? Qt::ForbiddenCursor : Qt::PointingHandCursor);
        button->UpdateStyle();
    }
}

void ZorConsultDialog::SlotUploadImageResult(bool bSuccess)
{
    // Results of uploads this dialog did not start for a submission (another component's
    // upload, or the rest of a round that already failed) must neither send nor report.
    if (!m_bWaitingUpload)
        return;
    m_bWaitingUpload = false;

    if (bSuccess) {
        SubmitFeedback();
        return;
    }
    SetSubmitting(false);
    ZorToast::Show(tr("Image upload failed"), TOAST_FAILED, this);
}

void ZorConsultDialog::SlotUploadClicked()
{
    ZorCacheManager* cache = ZorCacheManager::Instance();
    const QString path =
        QFileDialog::getOpenFileName(this, tr("Choose Image"), cache->GetDefaultExportPath(),
                                     QStringLiteral("Image Files(*.png *.jpg)"));
    if (path.isEmpty())
        return;
    // Even a refused file moves the start directory: the user likely picks its neighbour.
    cache->SetDefaultExportPath(QFileInfo(path).absoluteDir().path());

    BeginAttachRound();
    const QString failure = AttachFile(path, __func__);
    if (!failure.isEmpty()) {
        TellFailures({failure});
        return;
    }
    UIUtils::SetForeground(this, true);
}

QString ZorConsultDialog::AttachFile(const QString& path, const char* function)
{
    // The size test needs no more than the limit's worth of bytes; a huge file is never
    // read into memory. A file that does not open counts as empty.
    QFile file(path);
    QByteArray content;
    if (file.open(QIODevice::ReadOnly)) {
        content = file.read(kMaxImageBytes);
        file.close();
    } else {
        LogOpenForReadFail(file, __LINE__, function);
    }

    if (content.size() >= kMaxImageBytes)
        return tr("The file exceeds the specified size");

    const QString contentType = PalImageUtils::GetImgContentType(path);
    if (contentType != QLatin1String("image/png") && contentType != QLatin1String("image/jpeg"))
        return tr("File format error");

    // The header tells whether the file declares a picture that may be decoded; the picture
    // itself is decoded once, whole, on a worker, and the strip tells when it does not load
    // after all. The GUI thread decodes nothing.
    if (!UploadImageLoader::IsDecodable(path))
        return tr("File opening failed");

    m_pUploadWidget->AddImageFile(path);
    m_loadingRound.insert(path, m_attachRound);
    return QString();
}

void ZorConsultDialog::SlotCaptureClicked()
{
    // Out of the way of the picture.
    hide();
    m_bCaptureSuccess = false;

    // The dialog may be destroyed while the capture program runs: the task only hands its
    // exit code over, and the completion, back on the GUI thread, looks for the dialog.
    const auto exitCode = std::make_shared<int>(-1);
    const QPointer<ZorConsultDialog> self(this);
    PalGlobalAsync::Instance()->DoAsync(
        [exitCode]() { *exitCode = QProcess::execute(g_screenShotExecutor, QStringList()); },
        [self, exitCode]() {
            if (!self)
                return;
            self->m_bCaptureSuccess = (*exitCode == 0);
            if (self->m_bCaptureSuccess)
                self->m_pUploadWidget->AddImage(true, QString());
            self->show();
        });
}

void ZorConsultDialog::SlotRecord()
{
    emit SigOpenRecordUrl();
}

void ZorConsultDialog::SlotCancel()
{
    close();
}

void ZorConsultDialog::AttachFiles(const QStringList& paths, const char* function)
{
    BeginAttachRound();
    QStringList failures;
    for (const QString& path : paths) {
        if (m_pUploadWidget->GetImageCount() >= m_pUploadWidget->GetMaxCount()) {
            failures.append(ImageTipText());
            break;
        }
        failures.append(AttachFile(path, function));
    }
    TellFailures(failures);
}

void ZorConsultDialog::TellFailures(const QStringList& failures)
{
    // One toast at a time shows over the dialog: it tells each kind of failure of the round
    // once, in the order met, the maximum last. A failure found later shows them all again.
    bool bNew = false;
    for (const QString& failure : failures) {
        if (!failure.isEmpty() && !m_roundFailures.contains(failure)) {
            m_roundFailures.append(failure);
            bNew = true;
        }
    }
    if (bNew)
        ZorToast::Show(m_roundFailures.join(QLatin1Char('\n')), TOAST_FAILED, this);
}

void ZorConsultDialog::BeginAttachRound()
{
    ++m_attachRound;
    m_roundFailures.clear();
}

void ZorConsultDialog::SlotImageLoadFailed(const QString& path)
{
    // A file that fails to load once decoded joins the failures of its round, if that is
    // still the latest; an older round's is told alone.
    const QString failure = tr("File opening failed");
    if (m_loadingRound.take(path) == m_attachRound)
        TellFailures({failure});
    else
        ZorToast::Show(failure, TOAST_FAILED, this);
}

QStringList ZorConsultDialog::LocalFiles(const QMimeData* mimeData)
{
    if (!mimeData || !mimeData->hasUrls())
        return QStringList();
    QStringList files;
    for (const QUrl& url : mimeData->urls()) {
        const QString path = url.isLocalFile() ? url.toLocalFile() : QString();
        if (path.isEmpty() || QFileInfo(path).isDir())
            return QStringList();
        files.append(path);
    }
    return files;
}

void ZorConsultDialog::SlotPaste()
{
    const QMimeData* mimeData = QGuiApplication::clipboard()->mimeData();
    const QStringList files = LocalFiles(mimeData);
    if (!files.isEmpty()) {
        AttachFiles(files, __func__);
        return;
    }
    // Text, outside the fields that take it, has nowhere to go.
    if (!mimeData || !mimeData->hasImage())
        return;
    if (m_pUploadWidget->GetImageCount() >= m_pUploadWidget->GetMaxCount()) {
        ZorToast::Show(ImageTipText(), TOAST_FAILED, this);
        return;
    }
    // A picture from the clipboard is attached as a capture is: it is no file to check.
    m_pUploadWidget->AddImage(true, QString());
}

void ZorConsultDialog::ShowDropHighlight(bool bShow)
{
    if (bShow) {
        m_pDropHighlight->setGeometry(m_ui->uploadImageWidget->rect());
        m_pDropHighlight->raise();
    }
    m_pDropHighlight->setVisible(bShow);
}

void ZorConsultDialog::dragEnterEvent(QDragEnterEvent* event)
{
    // Refused here, a drop of anything but files is never offered.
    if (LocalFiles(event->mimeData()).isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    ShowDropHighlight(true);
}

void ZorConsultDialog::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void ZorConsultDialog::dragLeaveEvent(QDragLeaveEvent* event)
{
    ShowDropHighlight(false);
    event->accept();
}

void ZorConsultDialog::dropEvent(QDropEvent* event)
{
    ShowDropHighlight(false);
    const QStringList files = LocalFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    AttachFiles(files, __func__);
}

bool ZorConsultDialog::TakeFileDrag(QEvent* event)
{
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        if (!LocalFiles(static_cast<QDropEvent*>(event)->mimeData()).isEmpty()) {
            if (event->type() == QEvent::DragEnter)
                dragEnterEvent(static_cast<QDragEnterEvent*>(event));
            else if (event->type() == QEvent::DragMove)
                dragMoveEvent(static_cast<QDragMoveEvent*>(event));
            else
                dropEvent(static_cast<QDropEvent*>(event));
            return true;
        }
        break;
    case QEvent::DragLeave:
        ShowDropHighlight(false);
        break;
    default:
        break;
    }
    return false;
}
