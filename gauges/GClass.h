#pragma once
// The common ground of the gauge controls: settings objects with a change notification, a four-sided
// margin, the graphic and windowed control bases with their update bracket, and a small INI load/save
// helper.
//
// The change chain: a settings property is set; the setter stores a different value and calls the
// settings object's Change; that fires OnChange, which the owning control binds to its ParamChange
// (usually in Loaded), where it recomputes its layout and repaints. Settings objects that own further
// settings objects bind the inner ones' OnChange to ChangeObject, so one chain reaches the control.
// Controls wrap the property assignments of their constructor and Loaded in BeginUpdate ... EndUpdate so
// that they end in a single Change.
#include <functional>
#include <string>

#include "platform/IniFile.h"
#include "platform/Object.h"
#include "platform/controls/WinControl.h"
#include "platform/graphics/Types.h"

namespace gauges {

using platform::TObject;
using TNotifyEvent = std::function<void(TObject* sender)>;

// Sets a flag for the length of a scope and gives it back its earlier value at the end, also by an
// exception (re-entry guards of painting and value changes; nested scopes keep the outer one's flag).
class FlagScope {
public:
    explicit FlagScope(bool& flag) : flag_(flag), old_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = old_; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& flag_;
    bool old_;
};

// The base of every settings object a gauge control owns.
class TAbPersistent : public TObject {
public:
    TNotifyEvent OnChange;

    // Fires OnChange with this object as the sender.
    virtual void Change() {
        if (OnChange) OnChange(this);
    }
    // Fires OnChange with `sender` passed on (inner settings objects bind their OnChange here).
    virtual void ChangeObject(TObject* sender) {
        if (OnChange) OnChange(sender);
    }
    // Copies this object's published values into `dest`; objects of another class raise EConvertError.
    virtual void AssignTo(TAbPersistent& dest) const;
    void Assign(const TAbPersistent& source) { source.AssignTo(*this); }

protected:
    // The common setter rule: store a different value and call Change; an equal value does nothing.
    template <class T> void SetProperty(T& field, const T& value) {
        if (field == value) return;
        field = value;
        Change();
    }
};

// A margin on four sides.
class TAbOffset : public TAbPersistent {
public:
    int Top() const { return top_; }
    int Left() const { return left_; }
    int Right() const { return right_; }
    int Bottom() const { return bottom_; }
    void SetTop(int v) { SetProperty(top_, v); }
    void SetLeft(int v) { SetProperty(left_, v); }
    void SetRight(int v) { SetProperty(right_, v); }
    void SetBottom(int v) { SetProperty(bottom_, v); }
    // Sets all four without a notification.
    void Write(int top, int left, int right, int bottom);
    // `r` shrunk by the margin.
    platform::gfx::TRect SetOffset(const platform::gfx::TRect& r) const;
    void AssignTo(TAbPersistent& dest) const override;

private:
    int top_ = 0;
    int left_ = 0;
    int right_ = 0;
    int bottom_ = 0;
};

// The non-windowed gauge base: its owner (a windowed control) becomes its parent.
class TAbGraphicControl : public platform::TGraphicControl {
public:
    // An owner that is not a windowed control raises EInvalidCast.
    explicit TAbGraphicControl(platform::TComponent* owner, const std::string& name = {});

    void BeginUpdate() { ++updateCount_; }
    // Ends an update; the last one (or an unmatched one) calls Change.
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    bool Updating() const { return updateCount_ > 0; }
    // Calls ParamChange with the control as the sender unless an update runs.
    virtual void Change();
    // Where a derived control recomputes its layout and repaints; settings objects' OnChange lands here.
    virtual void ParamChange(TObject* sender) { (void)sender; }

protected:
    // A changed setting shows at once, or with the update that is running.
    void RepaintUnlessUpdating() {
        if (!Updating()) Invalidate();
    }

private:
    int updateCount_ = 0;
};

// The windowed gauge base (the parent is left to the caller).
class TAbCustomControl : public platform::TCustomControl {
public:
    explicit TAbCustomControl(platform::TComponent* owner, const std::string& name = {});

    void BeginUpdate() { ++updateCount_; }
    // Ends an update; the last one (or an unmatched one) repaints.
    void EndUpdate();
    int UpdateCount() const { return updateCount_; }
    virtual void Change();
    virtual void ParamChange(TObject* sender) { (void)sender; }

private:
    int updateCount_ = 0;
};

// Opens an INI file for a load or a save that the event handler does.
class TIniSettings : public TObject {
public:
    using THandleIniEvent = std::function<void(platform::TIniFile& ini, bool read)>;

    std::string FileName;
    std::string Section;
    bool UseAppDir = true;     // only the name part of FileName, in the program's folder
    bool AutoLoadSave = false; // whether AutoHandle does anything
    THandleIniEvent OnHandleIniEvent;

    // Opens the file and calls the handler; with an empty file or section name it only records the error.
    void Handle(bool read);
    void AutoHandle(bool read) {
        if (AutoLoadSave) Handle(read);
    }
    bool Error() const { return error_; }
    const std::string& ErrorText() const { return errorText_; }
    // The file Handle opens.
    std::string Path() const;

private:
    bool error_ = false;
    std::string errorText_;
};

} // namespace gauges
