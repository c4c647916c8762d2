#include "NodeTree.h"
