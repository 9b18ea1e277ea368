#include "UploadImageLabel.h"
