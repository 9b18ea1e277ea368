#include "ConsultSubmitDescResponse.h"
