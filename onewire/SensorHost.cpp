#include "onewire/SensorHost.h"

namespace {
SensorHost* installed = nullptr;
}

SensorHost* InstalledSensorHost() {
    return installed;
}

void InstallSensorHost(SensorHost* host) {
    installed = host;
}
