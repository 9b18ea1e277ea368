#include "HttpObserverBase.h"
