#include "PalJsonParserBase.h"
