#pragma once
// A small component model: every component has a name and an owner, and an owner frees what it owns.
// Components can ask to be told when another one is freed (FreeNotification), and every component an
// owner holds hears of the removal of its siblings through Notification, as the class library does.
// Forms built in code call Loaded() on their components after setting their properties (there is no
// form streaming); FinishLoading does that for everything an owner holds.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/Object.h"

namespace platform {

enum class TOperation { opInsert, opRemove };

// Component state flags.
enum TComponentStateFlag : uint32_t {
    csLoading = 1,
    csReading = 2,
    csWriting = 4,
    csDestroying = 8,
    csDesigning = 16, // there is no designer: only tests set it, to check design-time behaviour
};

class TComponent : public TObject {
public:
    explicit TComponent(TComponent* owner = nullptr, std::string name = {});
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    // A number the program keeps with the component; nothing in the component reads it.
    intptr_t Tag() const { return tag_; }
    void SetTag(intptr_t tag) { tag_ = tag; }
    int ComponentCount() const { return static_cast<int>(owned_.size()); }
    TComponent* Components(int index) const { return owned_.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;
    // Takes a component out of what this one owns (and frees): somebody else frees it now.
    void RemoveComponent(TComponent* child);

    uint32_t ComponentState() const { return state_; }
    bool Loading() const { return (state_ & csLoading) != 0; }
    bool Destroying() const { return (state_ & csDestroying) != 0; }
    bool Designing() const { return (state_ & csDesigning) != 0; }
    // Marks the component as being loaded (its properties are being set before Loaded runs).
    void SetLoading() { state_ |= csLoading; }
    // Marks the component as living in a designer (tests only).
    void SetDesigning(bool designing) {
        if (designing)
            state_ |= csDesigning;
        else
            state_ &= ~static_cast<uint32_t>(csDesigning);
    }
    // Called once every property has been set: clears csLoading. Derived classes bind their events here.
    virtual void Loaded() { state_ &= ~static_cast<uint32_t>(csLoading); }

    // Asks to be told (through Notification with opRemove) when `other` is freed; the link works both ways.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);
    // Told of an insertion into or a removal from the owner, and of the freeing of a component this one
    // asked about. The base passes an owner's notification on to every component it owns.
    virtual void Notification(TComponent* component, TOperation operation);

protected:
    void SetDestroyingFlag() { state_ |= csDestroying; }

private:
    void Insert(TComponent* child) { owned_.push_back(child); }
    void Unlink(TComponent* other);

    TComponent* owner_;
    std::string name_;
    std::vector<TComponent*> owned_;
    std::vector<TComponent*> freeNotifies_;
    uint32_t state_ = 0;
    intptr_t tag_ = 0;
};

// Makes a component that `owner` owns: the owner frees it (with itself, or when it is freed first).
template <class T, class... Args> T* MakeOwned(TComponent* owner, Args&&... args) {
    return new T(owner, std::forward<Args>(args)...);
}

// Calls Loaded() on every component `owner` holds (and on theirs), children before their owner.
void FinishLoading(TComponent& owner);

} // namespace platform
