#include "ScreenShot.h"

#include <QImage>
#include <QScreen>
#include <QSizeF>

ScreenShot::ScreenShot(const QPixmap& pixmap) : m_pixmap(pixmap)
{}

ScreenShot ScreenShot::Grab(QScreen* pScreen)
{
    if (!pScreen)
        return ScreenShot();
    // Window 0 stands for the whole screen; with high-DPI scaling the pixmap comes back at full
    // resolution with its device pixel ratio set.
    return ScreenShot(pScreen->grabWindow(0));
}

QRect ScreenShot::GetBounds() const
{
    if (m_pixmap.isNull())
        return QRect();
    return QRect(QPoint(0, 0), (QSizeF(m_pixmap.size()) / m_pixmap.devicePixelRatio()).toSize());
}

QRect ScreenShot::ToDevice(const QRect& area) const
{
    const qreal ratio = m_pixmap.devicePixelRatio();
    // Both edges are rounded on their own so that neighbouring areas share their border pixels
    // exactly, whatever the ratio.
    const QPoint topLeft(qRound(area.x() * ratio), qRound(area.y() * ratio));
    const QPoint end(qRound((area.x() + area.width()) * ratio),
                     qRound((area.y() + area.height()) * ratio));
    return QRect(topLeft, QSize(end.x() - topLeft.x(), end.y() - topLeft.y()));
}

QImage ScreenShot::Crop(const QRect& area) const
{
    const QRect device = ToDevice(area).intersected(QRect(QPoint(0, 0), m_pixmap.size()));
    if (device.isEmpty())
        return QImage();
    QImage image = m_pixmap.copy(device).toImage();
    image.setDevicePixelRatio(1.0);
    return image;
}
