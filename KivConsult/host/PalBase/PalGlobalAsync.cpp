#include "PalGlobalAsync.h"
