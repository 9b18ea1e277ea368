#include "UploadImageWidget.h"
