#include "ZorCacheManager.h"
