#include "ConsultSubmitDescRequest.h"
