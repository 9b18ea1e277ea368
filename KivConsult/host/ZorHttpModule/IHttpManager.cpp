#include "IHttpManager.h"
