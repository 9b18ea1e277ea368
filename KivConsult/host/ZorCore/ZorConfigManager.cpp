#include "ZorConfigManager.h"
