#pragma once

#include <QPixmap>
#include <QRect>

class QImage;
class QScreen;

// A picture of one screen. Areas are given in the screen's device-independent units (those of
// window geometry); the picture itself keeps every device pixel the screen has.
class ScreenShot
{
public:
    ScreenShot() = default;
    explicit ScreenShot(const QPixmap& pixmap);

    // Null when the window system would not hand out the screen's content.
    static ScreenShot Grab(QScreen* pScreen);

    bool IsNull() const { return m_pixmap.isNull(); }
    const QPixmap& GetPixmap() const { return m_pixmap; }

    // The whole screen, with its top-left corner at 0,0.
    QRect GetBounds() const;
    // The device pixels that an area covers.
    QRect ToDevice(const QRect& area) const;
    // The device pixels of an area as a plain image (device pixel ratio 1).
    QImage Crop(const QRect& area) const;

private:
    QPixmap m_pixmap;
};
