#include "AesModule.h"
