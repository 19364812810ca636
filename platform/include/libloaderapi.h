// Module handles and resources. Filled in by the platform's module layer.
#pragma once

#include "windef.h"
