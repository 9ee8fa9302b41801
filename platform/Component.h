#pragma once
// A small component model: every component has a name and an owner, and an owner frees what it owns.
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace platform {

class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr, std::string name = {});
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    void SetName(const std::string& name) { name_ = name; }
    int ComponentCount() const { return static_cast<int>(owned_.size()); }
    TComponent* Components(int index) const { return owned_.at(static_cast<size_t>(index)); }
    TComponent* FindComponent(const std::string& name) const;
    // Takes a component out of what this one owns (and frees): somebody else frees it now.
    void RemoveComponent(TComponent* child);

private:
    void Insert(TComponent* child) { owned_.push_back(child); }

    TComponent* owner_;
    std::string name_;
    std::vector<TComponent*> owned_;
};

// Makes a component that `owner` owns: the owner frees it (with itself, or when it is freed first).
template <class T, class... Args> T* MakeOwned(TComponent* owner, Args&&... args) {
    return new T(owner, std::forward<Args>(args)...);
}

} // namespace platform
