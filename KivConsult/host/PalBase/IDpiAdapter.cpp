#include "IDpiAdapter.h"
