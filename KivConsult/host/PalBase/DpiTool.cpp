#include "DpiTool.h"
