#include "ZorCodeTracking.h"
