#include "platform/Component.h"

#include <algorithm>

#include "platform/Strings.h"

namespace platform {

TComponent::TComponent(TComponent* owner, std::string name) : owner_(owner), name_(std::move(name)) {
    if (owner_) owner_->Insert(this);
}

TComponent::~TComponent() {
    // Free the owned components, newest first; each removes itself from our list.
    while (!owned_.empty())
        delete owned_.back();
    if (owner_) owner_->RemoveComponent(this);
}

void TComponent::RemoveComponent(TComponent* child) {
    auto it = std::find(owned_.begin(), owned_.end(), child);
    if (it == owned_.end()) return;
    owned_.erase(it);
    child->owner_ = nullptr;
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (auto* c : owned_)
        if (SameText(c->Name(), name)) return c;
    return nullptr;
}

} // namespace platform
