// The virtual clock is header-only; this unit keeps the library layout uniform.
#include "sim/virtual_clock.h"
