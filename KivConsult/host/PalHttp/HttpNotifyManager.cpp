#include "HttpNotifyManager.h"
