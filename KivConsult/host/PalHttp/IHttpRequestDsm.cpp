#include "IHttpRequestDsm.h"
