#pragma once
// Headless controls of the main window that draw nothing of their own: every property observable. A
// user's click goes through Click(); setting a property from code never runs a handler. They are
// controls of the control tree (controls/Control.h), so they can be placed on forms like any other.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/StringList.h"
#include "platform/controls/Control.h"

namespace platform {

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
    void Clear() {
        selected_ = nullptr;
        roots_.clear();
    }
    TTreeNode* Add(TTreeNode* sibling, const std::string& text);
    TTreeNode* AddChildObject(TTreeNode* parent, const std::string& text, void* data);
    const std::vector<std::unique_ptr<TTreeNode>>& Roots() const { return roots_; }
    int Count() const; // every node
    // The node the user selected (null: none); clearing the tree clears it.
    TTreeNode* Selected() const { return selected_; }
    void Select(TTreeNode* node) { selected_ = node; }

private:
    std::vector<std::unique_ptr<TTreeNode>> roots_;
    TTreeNode* selected_ = nullptr;
};

} // namespace platform
