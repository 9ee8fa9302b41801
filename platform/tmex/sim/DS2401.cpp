#include "platform/tmex/sim/DS2401.h"
