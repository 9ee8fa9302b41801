#include "gauges/GClass.h"

#include <typeinfo>

#include "gauges/AbProc.h"
#include "platform/Exceptions.h"

namespace gauges {

namespace {
std::string ClassName(const std::type_info& type) {
    std::string name = platform::TypeName(type);
    size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}
} // namespace

void TAbPersistent::AssignTo(TAbPersistent& dest) const {
    throw platform::EConvertError("Cannot assign a " + ClassName(typeid(*this)) + " to a " +
                                  ClassName(typeid(dest)));
}

void TAbOffset::Write(int top, int left, int right, int bottom) {
    top_ = top;
    left_ = left;
    right_ = right;
    bottom_ = bottom;
}

platform::gfx::TRect TAbOffset::SetOffset(const platform::gfx::TRect& r) const {
    platform::gfx::TRect out = r;
    AbMultiBorder(out, left_, top_, right_, bottom_);
    return out;
}

void TAbOffset::AssignTo(TAbPersistent& dest) const {
    auto* d = dynamic_cast<TAbOffset*>(&dest);
    if (!d) return TAbPersistent::AssignTo(dest);
    d->Write(top_, left_, right_, bottom_);
    d->Change();
}

namespace {
platform::TWinControl* OwnerAsParent(platform::TComponent* owner) {
    if (!owner) return nullptr;
    auto* parent = dynamic_cast<platform::TWinControl*>(owner);
    if (!parent) throw platform::EInvalidCast("Invalid class typecast");
    return parent;
}
} // namespace

TAbGraphicControl::TAbGraphicControl(platform::TComponent* owner, const std::string& name)
    : TGraphicControl(owner, name) {
    SetParent(OwnerAsParent(owner));
}

void TAbGraphicControl::EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
    if (updateCount_ == 0) Change();
}

void TAbGraphicControl::Change() {
    if (updateCount_ == 0) ParamChange(this);
}

TAbCustomControl::TAbCustomControl(platform::TComponent* owner, const std::string& name)
    : TCustomControl(owner, name) {}

void TAbCustomControl::EndUpdate() {
    if (updateCount_ > 0) --updateCount_;
    if (updateCount_ == 0) Invalidate();
}

void TAbCustomControl::Change() {
    if (updateCount_ == 0) ParamChange(this);
}

std::string TIniSettings::Path() const {
    if (!UseAppDir) return FileName;
    size_t cut = FileName.find_last_of("\\:/");
    return AppPath() + (cut == std::string::npos ? FileName : FileName.substr(cut + 1));
}

void TIniSettings::Handle(bool read) {
    error_ = false;
    errorText_.clear();
    if (FileName.empty()) {
        error_ = true;
        errorText_ = "Invalid FileName";
    }
    if (Section.empty()) {
        error_ = true;
        errorText_ = "Invalid SectionName";
    }
    if (error_) return;
    platform::TIniFile ini(Path());
    if (OnHandleIniEvent) OnHandleIniEvent(ini, read);
}

} // namespace gauges
