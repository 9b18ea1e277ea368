#include "ConsultConfig.h"
