#include "ZorConsultManager.h"
