#pragma once
// A graphic control that leaves its painting to an event: whoever binds OnPaint draws on its canvas.
#include "platform/controls/Control.h"

namespace platform {

class TPaintBox : public TGraphicControl {
public:
    using TGraphicControl::TGraphicControl;
    TNotifyEvent OnPaint;

protected:
    void Paint() override {
        if (OnPaint) OnPaint(this);
    }
};

} // namespace platform
