#include "ZorImageLogic.h"
