#include "CrawlEngine.h"
