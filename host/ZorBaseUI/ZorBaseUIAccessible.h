#pragma once

#include "zorbaseui_export.h"

// What the host's controls tell assistive technology: the category picker is a combo box
// whose value is the chosen category, the icon buttons are push buttons that can be pressed.
// Each control installs the interfaces on its first construction.
namespace ZorBaseUIAccessible {

ZORBASEUI_EXPORT void Install();

} // namespace ZorBaseUIAccessible
