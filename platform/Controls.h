#pragma once
// Headless controls of the main window: no drawing, every property observable. A user's click goes
// through Click(); setting a property from code never runs a handler.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/StringList.h"

namespace platform {

class TControl : public TComponent {
public:
    using TComponent::TComponent;
    bool Visible() const { return visible_; }
    void SetVisible(bool visible) { visible_ = visible; }
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled) { enabled_ = enabled; }
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption) { caption_ = caption; }
    std::function<void(TComponent*)> OnClick;
    // A user's click: runs OnClick when the control is enabled.
    virtual void Click() {
        if (enabled_ && OnClick) OnClick(this);
    }

private:
    bool visible_ = true;
    bool enabled_ = true;
    std::string caption_;
};

using TLabel = TControl;
using TButton = TControl;
using TMenuItem = TControl;

class TCheckBox : public TControl {
public:
    using TControl::TControl;
    bool Checked() const { return checked_; }
    void SetChecked(bool checked) { checked_ = checked; } // from code: no handler
    void Click() override {
        if (!Enabled()) return;
        checked_ = !checked_;
        if (OnClick) OnClick(this);
    }

private:
    bool checked_ = false;
};

class TMemo : public TControl {
public:
    using TControl::TControl;
    TStringList& Lines() { return lines_; }
    void Clear() { lines_.Clear(); }

private:
    TStringList lines_;
};

class TStatusBar : public TControl {
public:
    using TControl::TControl;
    std::string& Panel(int index) {
        if (index >= static_cast<int>(panels_.size())) panels_.resize(static_cast<size_t>(index) + 1);
        return panels_[static_cast<size_t>(index)];
    }

private:
    std::vector<std::string> panels_;
};

using TTabSheet = TControl;

class TPageControl : public TControl {
public:
    using TControl::TControl;
    TTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TTabSheet* page) { active_ = page; }

private:
    TTabSheet* active_ = nullptr;
};

class TTreeNode {
public:
    std::string Text;
    void* Data = nullptr;
    int ImageIndex = -1;
    int SelectedIndex = -1;
    TTreeNode* Parent = nullptr;
    std::vector<std::unique_ptr<TTreeNode>> Children;
};

class TTreeView : public TControl {
public:
    using TControl::TControl;
    void Clear() { roots_.clear(); }
    TTreeNode* Add(TTreeNode* sibling, const std::string& text);
    TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
    const std::vector<std::unique_ptr<TTreeNode>>& Roots() const { return roots_; }
    int Count() const; // every node

private:
    std::vector<std::unique_ptr<TTreeNode>> roots_;
};

} // namespace platform
