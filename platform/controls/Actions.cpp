#include "platform/controls/Actions.h"

#include <algorithm>

#include "platform/controls/Application.h"

namespace platform {

namespace {
// The actions that have at least one link, in the order they got their first.
std::vector<TBasicAction*>& LinkedActions() {
    static std::vector<TBasicAction*> actions;
    return actions;
}
} // namespace

TBasicAction::~TBasicAction() {
    for (TBasicActionLink* link : links_)
        link->action_ = nullptr;
    if (!links_.empty()) std::erase(LinkedActions(), this);
    links_.clear();
}

void TBasicAction::AddLink(TBasicActionLink* link) {
    if (links_.empty()) LinkedActions().push_back(this);
    links_.push_back(link);
}

void TBasicAction::RemoveLink(TBasicActionLink* link) {
    std::erase(links_, link);
    if (links_.empty()) std::erase(LinkedActions(), this);
}

void TBasicAction::UpdateLinkedActions() {
    // An update may free or unlink actions: each one still linked when its turn comes is updated.
    std::vector<TBasicAction*> actions = LinkedActions();
    for (TBasicAction* action : actions) {
        const auto& linked = LinkedActions();
        if (std::find(linked.begin(), linked.end(), action) != linked.end()) action->Update();
    }
}

template <class F> void TBasicAction::ForEachLink(F push) {
    // A setter run by a push may relink its component: walk a copy and skip links that left.
    std::vector<TBasicActionLink*> links = links_;
    for (TBasicActionLink* link : links)
        if (link->action_ == this) push(*link);
}

void TBasicAction::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    caption_ = caption;
    ForEachLink([&](TBasicActionLink& l) { l.SetCaption(caption_); });
}

void TBasicAction::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    ForEachLink([&](TBasicActionLink& l) { l.SetEnabled(enabled_); });
}

void TBasicAction::SetHint(const std::string& hint) {
    if (hint == hint_) return;
    hint_ = hint;
    ForEachLink([&](TBasicActionLink& l) { l.SetHint(hint_); });
}

void TBasicAction::SetImageIndex(int index) {
    if (index == imageIndex_) return;
    imageIndex_ = index;
    ForEachLink([&](TBasicActionLink& l) { l.SetImageIndex(imageIndex_); });
}

bool TBasicAction::Execute() {
    if (Application->ExecuteAction(*this)) return true;
    if (!OnExecute) return false;
    OnExecute(this);
    return true;
}

bool TBasicAction::Update() {
    if (Application->UpdateAction(*this)) return true;
    if (!OnUpdate) return false;
    OnUpdate(this);
    return true;
}

TBasicActionLink::~TBasicActionLink() {
    if (action_) action_->RemoveLink(this);
}

void TBasicActionLink::SetAction(TBasicAction* action) {
    if (action == action_) return;
    if (action_) action_->RemoveLink(this);
    action_ = action;
    if (!action) return;
    action->AddLink(this);
    SetCaption(action->Caption());
    // An action without a hint leaves the component's own.
    if (!action->Hint().empty()) SetHint(action->Hint());
    SetEnabled(action->Enabled());
    SetImageIndex(action->ImageIndex());
}

bool TBasicActionLink::Execute(TComponent* client) {
    if (!action_) return false;
    TBasicAction* action = action_;
    TComponent* previous = action->ActionComponent;
    action->ActionComponent = client;
    // A handler may free the action: the link forgets it then, and nothing more is set on it.
    auto restore = [&] {
        if (action_ == action) action->ActionComponent = previous;
    };
    bool handled = false;
    try {
        handled = action->Execute();
    } catch (...) {
        restore();
        throw;
    }
    restore();
    return handled;
}

bool TBasicActionLink::Update() {
    return action_ && action_->Update();
}

} // namespace platform
