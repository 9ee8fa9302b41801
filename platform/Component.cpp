#include "platform/Component.h"

#include <algorithm>

#include "platform/Strings.h"

namespace platform {

TComponent::TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {
    if (owner_) owner_->Insert(this);
}

TComponent::~TComponent() {
    state_ |= csDestroying;
    // Free the owned components, newest first; each removes itself from our list.
    while (!owned_.empty())
        delete owned_.back();
    // Tell those that asked, then the owner (which passes it on to our siblings).
    while (!freeNotifies_.empty()) {
        TComponent* other = freeNotifies_.back();
        freeNotifies_.pop_back();
        other->Unlink(this);
        other->Notification(this, TOperation::opRemove);
    }
    if (TComponent* owner = owner_) {
        owner->RemoveComponent(this);
        owner->Notification(this, TOperation::opRemove);
    }
}

void TComponent::RemoveComponent(TComponent* child) {
    auto it = std::find(owned_.begin(), owned_.end(), child);
    if (it == owned_.end()) return;
    owned_.erase(it);
    child->owner_ = nullptr;
}

void TComponent::Unlink(TComponent* other) {
    std::erase(freeNotifies_, other);
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(freeNotifies_.begin(), freeNotifies_.end(), other) == freeNotifies_.end())
        freeNotifies_.push_back(other);
    if (std::find(other->freeNotifies_.begin(), other->freeNotifies_.end(), this) ==
        other->freeNotifies_.end())
        other->freeNotifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    Unlink(other);
    other->Unlink(this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == TOperation::opRemove && component) RemoveFreeNotification(component);
    // A copy: a handler may free components.
    std::vector<TComponent*> owned = owned_;
    for (TComponent* c : owned)
        if (c != component && std::find(owned_.begin(), owned_.end(), c) != owned_.end())
            c->Notification(component, operation);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (auto* c : owned_)
        if (SameText(c->Name(), name)) return c;
    return nullptr;
}

void FinishLoading(TComponent& owner) {
    std::vector<TComponent*> owned;
    for (int i = 0; i < owner.ComponentCount(); ++i)
        owned.push_back(owner.Components(i));
    for (TComponent* c : owned) {
        FinishLoading(*c);
        c->Loaded();
    }
}

} // namespace platform
