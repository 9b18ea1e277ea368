#include "ZorToast.h"
