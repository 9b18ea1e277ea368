#include "ZorBaseDialog.h"
