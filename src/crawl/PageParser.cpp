#include "PageParser.h"
