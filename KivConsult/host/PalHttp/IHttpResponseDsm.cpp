#include "IHttpResponseDsm.h"
