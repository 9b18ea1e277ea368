#include "ZorBaseWidget.h"
