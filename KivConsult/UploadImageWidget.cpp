#include "UploadImageWidget.h"

#include "DpiTool.h"
#include "HttpNotifyManager.h"
#include "ImageUploadResponse.h"
#include "UploadImageLabel.h"
#include "UploadImageLoader.h"
#include "ZorImageLogic.h"

#include <QFileInfo>
#include <QFutureWatcher>
#include <QHBoxLayout>
#include <QPointer>
#include <QSpacerItem>

#include <algorithm>

UploadImageWidget::UploadImageWidget(QWidget* parent)
    : ZorBaseWidget(parent, Qt::WindowFlags()), IDpiAdapter(true)
{
    m_pLayout = new QHBoxLayout(this);
    m_pLayout->setContentsMargins(0, 0, 0, 0);
    // Keeps the thumbnails packed to the left; always the layout's last item.
    m_pSpacer = new QSpacerItem(1, 1, QSizePolicy::Expanding, QSizePolicy::Minimum);
    m_pLayout->addSpacerItem(m_pSpacer);
    AdjustForDpi();
    hide();
    HttpNotifyManager::Instance()->AddObserver(this, ZorImageLogic::kUploadFinishedMessage);
}

UploadImageWidget::~UploadImageWidget()
{
    HttpNotifyManager::Instance()->RemoveAllMessage(this);
}

void UploadImageWidget::AddImage(bool bClipboard, const QString& path)
{
    NewLabel()->SetImage(bClipboard, path);
}

void UploadImageWidget::AddImage(const QImage& picture)
{
    NewLabel()->SetImage(picture);
}

void UploadImageWidget::AddImageFile(const QString& path)
{
    // The watcher dies with the strip: a load ending after it is dropped.
    ++m_loadsInFlight;
    using Preview = UploadImageLoader::Preview;
    auto* watcher = new QFutureWatcher<Preview>(this);
    connect(watcher, &QFutureWatcher<Preview>::finished, this, [this, watcher, path]() {
        watcher->deleteLater();
        --m_loadsInFlight;
        const Preview loaded = watcher->result();
        if (!loaded.preview.isNull()) {
            NewLabel()->SetImageFile(path, loaded.preview, loaded.whole);
            return;
        }
        const QPointer<UploadImageWidget> self(this);
        emit SigLoadFailed(path);
        if (self)
            ResumeUploads();
    });
    watcher->setFuture(UploadImageLoader::StartPreview(path, UploadImageLabel::ThumbnailBox()));
}

UploadImageLabel* UploadImageWidget::NewLabel()
{
    // Not compared with the maximum: the dialog's buttons stop delivering images at five.
    auto* label = new UploadImageLabel(this);
    label->hide();
    connect(label, &UploadImageLabel::SigDelete, this, &UploadImageWidget::SlotDeleteImage);
    connect(label, &UploadImageLabel::SigImgSave, this, &UploadImageWidget::SlotImageSave);
    connect(label, &UploadImageLabel::SigCopyDone, this, &UploadImageWidget::SlotCopyDone);
    m_labelList.append(label);
    return label;
}

bool UploadImageWidget::HasImage() const
{
    return !m_labelList.isEmpty() || m_loadsInFlight > 0;
}

bool UploadImageWidget::HasPendingCopy() const
{
    if (m_loadsInFlight > 0)
        return true;
    for (const UploadImageLabel* label : m_labelList) {
        if (label->IsCopyPending())
            return true;
    }
    return false;
}

void UploadImageWidget::UploadImages()
{
    // Every image without an address is on its way from now on, also while its copy is made.
    for (UploadImageLabel* label : qAsConst(m_labelList)) {
        if (m_imageUrlMap.value(label->GetSavePath()).isEmpty())
            label->SetUploading(true);
    }
    // A copy still being made has no path to upload yet; the round starts when it has.
    if (HasPendingCopy()) {
        m_bUploadWaiting = true;
        return;
    }
    m_bUploadWaiting = false;
    bool bStarted = false;
    for (UploadImageLabel* label : qAsConst(m_labelList)) {
        const QString path = label->GetSavePath();
        if (!m_imageUrlMap.value(path).isEmpty())
            continue;
        m_imageUrlMap.insert(path, QString());
        bStarted = true;
        ZorImageLogic::Instance()->UploadImage(path);
    }
    if (!bStarted)
        emit SigUploadResult(true);
}

bool UploadImageWidget::IsAllUploaded() const
{
    for (const QString& url : m_imageUrlMap) {
        if (url.isEmpty())
            return false;
    }
    return m_imageUrlMap.size() == m_labelList.size() && m_loadsInFlight == 0;
}

QList<QSharedPointer<ConsultImageEntity>> UploadImageWidget::GetImageList() const
{
    QList<QSharedPointer<ConsultImageEntity>> images;
    for (auto it = m_imageUrlMap.cbegin(); it != m_imageUrlMap.cend(); ++it) {
        auto image = QSharedPointer<ConsultImageEntity>::create();
        image->url = it.value();
        image->fileName = QFileInfo(it.key()).fileName();
        images.append(image);
    }
    return images;
}

void UploadImageWidget::AdjustForDpi()
{
    m_pLayout->setSpacing(DpiTool::ScaleDefault(12));
}

void UploadImageWidget::HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                                      QSharedPointer<IHttpResponse> response)
{
    Q_UNUSED(request)
    if (id != ZorImageLogic::kUploadFinishedMessage || !response)
        return;
    const auto upload = response.dynamicCast<ImageUploadResponse>();
    if (!upload)
        return;
    const QString path = upload->GetFilePath();
    for (UploadImageLabel* label : qAsConst(m_labelList)) {
        if (label->GetSavePath() == path)
            label->SetUploading(false);
    }
    const auto it = m_imageUrlMap.find(path);
    if (it != m_imageUrlMap.end()) {
        if (!upload->IsSuccess()) {
            emit SigUploadResult(false);
            return;
        }
        it.value() = upload->GetImageUrl();
    }
    // Also for a path that is not ours: another component's upload, or an image deleted
    // while it was being uploaded, may be what the last missing address waited for.
    if (IsAllUploaded())
        emit SigUploadResult(true);
}

UploadImageLabel* UploadImageWidget::LoadedSender(bool bSuc)
{
    auto* label = qobject_cast<UploadImageLabel*>(sender());
    if (label && !bSuc) {
        RemoveLabel(label);
        return nullptr;
    }
    return label;
}

void UploadImageWidget::SlotImageSave(bool bSuc)
{
    UploadImageLabel* label = LoadedSender(bSuc);
    if (!label)
        return;
    label->show();
    m_pLayout->removeItem(m_pSpacer);
    m_pLayout->addWidget(label);
    m_pLayout->addSpacerItem(m_pSpacer);
    UpdateState();
}

void UploadImageWidget::SlotCopyDone(bool bSuc)
{
    // A failed one was shown already, but its picture did not load in full: it goes like a
    // deleted one, and a file's failure is told as a file that does not load at all.
    const auto* sender = qobject_cast<UploadImageLabel*>(this->sender());
    const QString failedFile = sender && !bSuc ? sender->GetPreviewedFile() : QString();
    UploadImageLabel* label = LoadedSender(bSuc);
    if (!label) {
        if (!failedFile.isEmpty())
            emit SigLoadFailed(failedFile);
        return;
    }
    const QPointer<UploadImageWidget> self(this);
    emit SigCopySaved(label->GetSavePath());
    if (self)
        ResumeUploads();
}

void UploadImageWidget::SlotDeleteImage()
{
    auto* label = qobject_cast<UploadImageLabel*>(sender());
    if (!label)
        return;
    m_imageUrlMap.remove(label->GetSavePath());
    RemoveLabel(label);
}

void UploadImageWidget::RemoveLabel(UploadImageLabel* label)
{
    label->hide();
    m_pLayout->removeWidget(label);
    m_labelList.removeOne(label);
    // Deferred: the thumbnail is still delivering the signal that brought it here.
    label->deleteLater();
    UpdateState();
    ResumeUploads();
}

void UploadImageWidget::ResumeUploads()
{
    if (m_bUploadWaiting && !HasPendingCopy())
        UploadImages();
}

void UploadImageWidget::UpdateState()
{
    const int count = m_labelList.size();
    if (count == m_maxCount) {
        emit SigUpdateStyle(true);
    } else if (count == m_maxCount - 1) {
        emit SigUpdateStyle(false);
    } else if (count == 1) {
        show();
        emit SigUpdateHeight(true);
    } else if (count == 0 && !isHidden()) {
        hide();
        emit SigUpdateHeight(false);
    }
    // Thumbnails that load in the same turn, or one that fails while others load, pass the
    // counts above by: the strip is shown whenever it holds a shown thumbnail.
    const auto isShown = [](const UploadImageLabel* label) { return !label->isHidden(); };
    if (isHidden() && std::any_of(m_labelList.cbegin(), m_labelList.cend(), isShown)) {
        show();
        emit SigUpdateHeight(true);
    }
}
