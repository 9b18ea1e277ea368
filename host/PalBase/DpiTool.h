#pragma once

#include "palbase_export.h"

#include <QSize>

// Scales design sizes (pixels at 96 DPI) to the current screen scale. The scale is the
// primary screen's logical DPI / 96 until the host sets another factor. GUI thread only.
class PALBASE_EXPORT DpiTool
{
public:
    // Rounded to the nearest integer.
    static int ScaleDefault(int value);
    static QSize ScaleDefault(const QSize& size);

    static double GetScaleFactor();
    // Sets the factor and calls AdjustForDpi() on every registered IDpiAdapter when it
    // changed. A factor of 0 or less returns to the primary screen's scale.
    static void SetScaleFactor(double factor);
};
