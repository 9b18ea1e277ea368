#pragma once

#include <QLabel>
#include <QString>

class QPushButton;

// One attached image: loads it (from a file or the clipboard) one event-loop turn after
// SetImage, saves a JPEG copy in the host's image cache directory, shows it as a rounded
// 64 x 64 thumbnail, and shows its delete button ("imgDelBtn") while the cursor is over it.
class UploadImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit UploadImageLabel(QWidget* parent = nullptr);
    ~UploadImageLabel() override;

    // bClipboard: take the clipboard's picture instead of the file at path.
    void SetImage(bool bClipboard, const QString& path);
    // The saved JPEG copy; empty until the image was saved.
    QString GetSavePath() const;

signals:
    void SigDelete();
    // Once per SetImage: whether an image was obtained.
    void SigImgSave(bool bSuc);

private slots:
    void SlotTimeOut();

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SaveImage(const QPixmap& pixmap);
    void RenderThumbnail(const QPixmap& pixmap);

    QPushButton* m_pDelBtn = nullptr;
    QString m_savePath;
    bool m_bClipboard = true;
    QString m_srcPath;
};
