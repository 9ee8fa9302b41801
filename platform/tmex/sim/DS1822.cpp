#include "platform/tmex/sim/DS1822.h"
