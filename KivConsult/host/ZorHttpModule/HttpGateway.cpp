#include "HttpGateway.h"
