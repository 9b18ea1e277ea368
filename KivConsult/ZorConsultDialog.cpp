#include "ZorConsultDialog.h"
