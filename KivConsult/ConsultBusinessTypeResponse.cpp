#include "ConsultBusinessTypeResponse.h"
