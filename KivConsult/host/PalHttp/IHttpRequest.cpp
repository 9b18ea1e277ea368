#include "IHttpRequest.h"
