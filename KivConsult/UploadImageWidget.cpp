#include "UploadImageWidget.h"

#include "DpiTool.h"
#include "HttpNotifyManager.h"
#include "ImageUploadResponse.h"
#include "UploadImageLabel.h"
#include "ZorImageLogic.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QSpacerItem>

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
    // Not compared with the maximum: the dialog's buttons stop delivering images at five.
    auto* label = new UploadImageLabel(this);
    label->SetImage(bClipboard, path);
    label->hide();
    connect(label, &UploadImageLabel::SigDelete, this, &UploadImageWidget::SlotDeleteImage);
    connect(label, &UploadImageLabel::SigImgSave, this, &UploadImageWidget::SlotImageSave);
    m_labelList.append(label);
}

bool UploadImageWidget::HasImage() const
{
    return !m_labelList.isEmpty();
}

void UploadImageWidget::UploadImages()
{
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
    return m_imageUrlMap.size() == m_labelList.size();
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

void UploadImageWidget::SlotImageSave(bool bSuc)
{
    auto* label = qobject_cast<UploadImageLabel*>(sender());
    if (!label)
        return;
    if (!bSuc) {
        m_labelList.removeOne(label);
        // Deferred: the thumbnail is still delivering this signal.
        label->deleteLater();
        return;
    }
    label->show();
    m_pLayout->removeItem(m_pSpacer);
    m_pLayout->addWidget(label);
    m_pLayout->addSpacerItem(m_pSpacer);
    UpdateState();
}

void UploadImageWidget::SlotDeleteImage()
{
    auto* label = qobject_cast<UploadImageLabel*>(sender());
    if (!label)
        return;
    m_imageUrlMap.remove(label->GetSavePath());
    label->hide();
    m_pLayout->removeWidget(label);
    m_labelList.removeOne(label);
    // Deferred: the thumbnail is still delivering this signal.
    label->deleteLater();
    UpdateState();
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
    } else if (count == 0) {
        hide();
        emit SigUpdateHeight(false);
    }
}
