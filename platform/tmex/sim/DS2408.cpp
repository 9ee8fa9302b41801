#include "platform/tmex/sim/DS2408.h"
