#include "UIUtils.h"
