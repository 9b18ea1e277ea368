#include "ZorGlobalData.h"
