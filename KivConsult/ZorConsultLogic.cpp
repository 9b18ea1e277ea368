#include "ZorConsultLogic.h"
