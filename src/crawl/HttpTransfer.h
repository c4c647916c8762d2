#pragma once

#include "TransferComponent.h"
