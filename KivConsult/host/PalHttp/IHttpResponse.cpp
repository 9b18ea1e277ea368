#include "IHttpResponse.h"
