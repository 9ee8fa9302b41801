#pragma once
// The hidden version label: its caption is the build text of the program file.
#include "platform/controls/Headless.h"

class TfshVersionLabel : public platform::TControl {
public:
    using TControl::TControl;
};
