#pragma once
// The least of the class library's actions: a command object whose Execute and Update go to the
// application's action events first (a handler there that sets Handled takes it) and then to the
// action's own OnExecute and OnUpdate.
//
// An action keeps the caption, enabled state, hint and image index of the command. Components show it
// through an action link (TBasicActionLink): linking pushes the caption, enabled state and image index
// (and the hint, when the action has one) to the component, and every later change of one of them is
// pushed again. A click of a linked component that has no click handler of its own executes the
// action, and linked actions are updated whenever the application goes idle, so that OnUpdate can
// keep them current. Freeing the action unlinks every link; freeing a link leaves the action.
#include <functional>
#include <string>
#include <vector>

#include "platform/Component.h"

namespace platform {

class TBasicActionLink;

class TBasicAction : public TComponent {
public:
    using TComponent::TComponent;
    ~TBasicAction() override;

    std::function<void(TBasicAction*)> OnExecute;
    std::function<void(TBasicAction*)> OnUpdate;
    // The component whose click is executing the action (null outside such an Execute).
    TComponent* ActionComponent = nullptr;

    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint);
    int ImageIndex() const { return imageIndex_; }
    void SetImageIndex(int index);

    // True when the application or OnExecute handled the action.
    virtual bool Execute();
    // True when the application or OnUpdate handled the update.
    virtual bool Update();
    // Updates every action that a component shows; the application does it whenever it goes idle.
    static void UpdateLinkedActions();

private:
    friend class TBasicActionLink;
    template <class F> void ForEachLink(F push);
    void AddLink(TBasicActionLink* link);
    void RemoveLink(TBasicActionLink* link);

    std::vector<TBasicActionLink*> links_;
    std::string caption_;
    bool enabled_ = true;
    std::string hint_;
    int imageIndex_ = -1;
};

// The tie between an action and one component; a component holds one and overrides the setters for the
// properties it shows.
class TBasicActionLink {
public:
    TBasicActionLink() = default;
    virtual ~TBasicActionLink();
    TBasicActionLink(const TBasicActionLink&) = delete;
    TBasicActionLink& operator=(const TBasicActionLink&) = delete;

    TBasicAction* Action() const { return action_; }
    // Leaves the old action and links to the new one (null: none), pushing its properties.
    void SetAction(TBasicAction* action);
    // Executes the action for a click of `client`; false without an action or when nothing handled it.
    bool Execute(TComponent* client);
    bool Update();

protected:
    friend class TBasicAction;
    virtual void SetCaption(const std::string& caption) { (void)caption; }
    virtual void SetEnabled(bool enabled) { (void)enabled; }
    virtual void SetHint(const std::string& hint) { (void)hint; }
    virtual void SetImageIndex(int index) { (void)index; }

private:
    TBasicAction* action_ = nullptr;
};

} // namespace platform
