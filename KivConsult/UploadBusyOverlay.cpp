#include "UploadBusyOverlay.h"

#include "DpiTool.h"

#include <QPainter>
#include <QTimerEvent>

namespace {

constexpr int kFrameMs = 80;
constexpr int kStepDegrees = 30;
// Design sizes, scaled at the current screen scale.
constexpr int kArcDiameter = 24;
constexpr int kArcWidth = 3;
constexpr int kCornerRadius = 2;

} // namespace

UploadBusyOverlay::UploadBusyOverlay(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("imgUploadingMask"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void UploadBusyOverlay::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event)
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    // Light over dark and dark over light pictures alike: a dark veil and a white arc.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 0, 110));
    const qreal corner = DpiTool::ScaleDefault(kCornerRadius);
    painter.drawRoundedRect(rect(), corner, corner);

    const int diameter = qMin(DpiTool::ScaleDefault(kArcDiameter), qMin(width(), height()) - 4);
    if (diameter <= 0)
        return;
    QRect arc(0, 0, diameter, diameter);
    arc.moveCenter(rect().center());
    QPen pen(Qt::white, DpiTool::ScaleDefault(kArcWidth), Qt::SolidLine, Qt::RoundCap);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    // Qt's angles are in sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawArc(arc, -m_angle * 16, 270 * 16);
}

void UploadBusyOverlay::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId()) {
        QWidget::timerEvent(event);
        return;
    }
    m_angle = (m_angle + kStepDegrees) % 360;
    update();
}

void UploadBusyOverlay::showEvent(QShowEvent* event)
{
    // Turns only while it shows.
    m_timer.start(kFrameMs, this);
    QWidget::showEvent(event);
}

void UploadBusyOverlay::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}
