#include "ConsultBusinessTypeEntity.h"
