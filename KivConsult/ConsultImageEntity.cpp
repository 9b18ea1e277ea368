#include "ConsultImageEntity.h"
