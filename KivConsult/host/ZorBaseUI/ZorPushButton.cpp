#include "ZorPushButton.h"
