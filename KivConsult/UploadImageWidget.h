#pragma once

#include "ConsultImageEntity.h"
#include "HttpObserverBase.h"
#include "IDpiAdapter.h"
#include "ZorBaseWidget.h"

#include <QList>
#include <QMap>
#include <QSharedPointer>
#include <QString>

class QHBoxLayout;
class QSpacerItem;
class UploadImageLabel;

// The strip of attached images below the dialog's Upload and Capture buttons. Images are
// uploaded through the host's image service only when the user submits, and an image that
// already has an address is never uploaded again.
class UploadImageWidget : public ZorBaseWidget, public IDpiAdapter, public HttpObserverBase
{
    Q_OBJECT
public:
    explicit UploadImageWidget(QWidget* parent = nullptr);
    ~UploadImageWidget() override;

    void AddImage(bool bClipboard, const QString& path);
    // Thumbnails still loading count.
    bool HasImage() const;
    void UploadImages();
    bool IsAllUploaded() const;
    // The uploaded images, in the order of their saved paths.
    QList<QSharedPointer<ConsultImageEntity>> GetImageList() const;

    void AdjustForDpi() override;
    void HandleMessage(int id, QSharedPointer<IHttpRequest> request,
                       QSharedPointer<IHttpResponse> response) override;

signals:
    // true: the strip shows its first image; false: it became empty.
    void SigUpdateHeight(bool bLarge);
    // true: the maximum is reached; false: one below it.
    void SigUpdateStyle(bool bMax);
    void SigUploadResult(bool bSuccess);

private slots:
    void SlotDeleteImage();
    void SlotImageSave(bool bSuc);

private:
    void UpdateState();

    QHBoxLayout* m_pLayout = nullptr;
    QSpacerItem* m_pSpacer = nullptr;
    QList<UploadImageLabel*> m_labelList;
    QMap<QString, QString> m_imageUrlMap;
    int m_maxCount = 5;
};
