#pragma once

#include <QBasicTimer>
#include <QWidget>

// A busy mark laid over a thumbnail while its image is being uploaded: the picture dimmed
// and a turning arc. It takes no input, so the thumbnail's delete button stays usable.
class UploadBusyOverlay : public QWidget
{
public:
    explicit UploadBusyOverlay(QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QBasicTimer m_timer;
    int m_angle = 0;
};
