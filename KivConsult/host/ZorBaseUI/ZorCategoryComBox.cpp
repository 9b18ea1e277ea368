#include "ZorCategoryComBox.h"
