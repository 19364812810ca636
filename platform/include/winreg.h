// Registry functions. Filled in by the platform's registry layer.
#pragma once

#include "windef.h"
