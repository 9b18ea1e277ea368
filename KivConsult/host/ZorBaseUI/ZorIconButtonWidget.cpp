#include "ZorIconButtonWidget.h"
