#include "PalImageUtils.h"
