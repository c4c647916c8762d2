#include "WebText.h"
