#include "ImageUploadResponse.h"
