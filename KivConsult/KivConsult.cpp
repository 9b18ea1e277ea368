#include "KivConsult.h"
