#include "HttpTransfer.h"
