#include "ConsultBusinessTypeRequest.h"
