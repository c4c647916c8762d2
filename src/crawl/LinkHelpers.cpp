#include "LinkHelpers.h"
