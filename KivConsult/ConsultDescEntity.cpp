#include "ConsultDescEntity.h"
