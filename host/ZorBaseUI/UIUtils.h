#pragma once

#include "zorbaseui_export.h"

#include <QString>

class QWidget;

class ZORBASEUI_EXPORT UIUtils
{
public:
    // Re-applies style rules to the widget after one of its dynamic properties (such as
    // "errored") changed.
    static void UpdateStyle(QWidget* widget);

    // Brings the widget's window to the front and activates it (bForeground true), or only
    // raises it without taking focus (false).
    static void SetForeground(QWidget* widget, bool bForeground);

    // The host's style sheet in the current skin (installed on the application by ZorSkin).
    static QString DefaultStyleSheet();
};
