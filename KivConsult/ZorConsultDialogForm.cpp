#include "ZorConsultDialogForm.h"
