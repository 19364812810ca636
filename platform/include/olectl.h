#pragma once
#include "ocidl.h"
