#include "platform/Dde.h"

#include <algorithm>

#include "platform/Files.h"
#include "platform/Strings.h"

namespace platform {

namespace {

// The registered conversations of the process, in registration order.
std::vector<TDdeServerConv*>& Conversations() {
    static std::vector<TDdeServerConv*> conversations;
    return conversations;
}

int registrationsAllowed = -1;

void Register(const std::string& what) {
    if (registrationsAllowed == 0) throw EDdeError("DDE registration of " + what + " refused");
    if (registrationsAllowed > 0) --registrationsAllowed;
}

TDdeServerConv* FindConversation(const std::string& service, const std::string& topic) {
    for (TDdeServerConv* conv : Conversations())
        if (SameText(conv->Service(), service) && SameText(conv->Topic(), topic)) return conv;
    return nullptr;
}

TDdeServerItem* FindItem(const std::string& service, const std::string& topic, const std::string& item) {
    TDdeServerConv* conv = FindConversation(service, topic);
    return conv ? conv->FindItem(item) : nullptr;
}

} // namespace

std::string DdeServiceName() {
    std::string name = ExeName();
    name = name.substr(name.find_last_of('/') + 1);
    return name.substr(0, name.find('.'));
}

void DdeRefuseRegistrations(int allowed) {
    registrationsAllowed = allowed;
}

// ---- conversation ----

TDdeServerConv::TDdeServerConv(TComponent* owner, const std::string& topic)
    : TComponent(owner, topic), service_(DdeServiceName()) {
    if (FindConversation(service_, topic) != nullptr)
        throw EDdeError("DDE topic " + topic + " is already registered");
    Register("topic " + topic);
    Conversations().push_back(this);
}

TDdeServerConv::~TDdeServerConv() {
    auto& all = Conversations();
    all.erase(std::remove(all.begin(), all.end(), this), all.end());
    while (!items_.empty())
        items_.back()->Withdraw();
}

TDdeServerItem* TDdeServerConv::FindItem(const std::string& name) const {
    for (TDdeServerItem* item : items_)
        if (SameText(item->Name(), name)) return item;
    return nullptr;
}

// ---- item ----

TDdeServerItem::TDdeServerItem(TComponent* owner, const std::string& name) : TComponent(owner, name) {}

TDdeServerItem::~TDdeServerItem() {
    Withdraw();
}

void TDdeServerItem::SetServerConv(TDdeServerConv* conv) {
    if (conv == conv_) return;
    if (conv != nullptr) {
        if (Name().empty()) throw EDdeError("DDE item without a name");
        if (conv->FindItem(Name()) != nullptr)
            throw EDdeError("DDE item " + Name() + " is already registered");
        Register("item " + Name());
    }
    Withdraw();
    conv_ = conv;
    if (conv_ != nullptr) conv_->items_.push_back(this);
}

void TDdeServerItem::Withdraw() {
    for (TDdeAdviseLink* link : links_)
        link->item_ = nullptr;
    links_.clear();
    if (conv_ == nullptr) return;
    auto& items = conv_->items_;
    items.erase(std::remove(items.begin(), items.end(), this), items.end());
    conv_ = nullptr;
}

void TDdeServerItem::SetText(const std::string& text) {
    text_ = text;
    // A link's handler may end links (its own among them): walk a copy and skip those gone.
    std::vector<TDdeAdviseLink*> links = links_;
    for (TDdeAdviseLink* link : links) {
        if (std::find(links_.begin(), links_.end(), link) == links_.end() || !link->onChange_) continue;
        link->onChange_(link->kind_ == TDdeAdviseLink::Kind::Hot ? &text_ : nullptr);
    }
}

TStringList TDdeServerItem::Lines() const {
    TStringList lines;
    lines.SetText(text_);
    return lines;
}

void TDdeServerItem::AddLine(const std::string& line) {
    TStringList lines = Lines();
    lines.Add(line);
    SetText(lines.Text());
}

// ---- client ----

bool DdeRequest(const std::string& service, const std::string& topic, const std::string& item,
                std::string& text) {
    TDdeServerItem* found = FindItem(service, topic, item);
    if (found == nullptr) return false;
    text = found->Text();
    return true;
}

TDdeAdviseLink::TDdeAdviseLink(const std::string& service, const std::string& topic, const std::string& item,
                               Kind kind, ChangeEvent onChange)
    : item_(FindItem(service, topic, item)), kind_(kind), onChange_(std::move(onChange)) {
    if (item_ != nullptr) item_->links_.push_back(this);
}

TDdeAdviseLink::~TDdeAdviseLink() {
    if (item_ == nullptr) return;
    auto& links = item_->links_;
    links.erase(std::remove(links.begin(), links.end(), this), links.end());
}

} // namespace platform
