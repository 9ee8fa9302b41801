#pragma once
// The DDE server components, in process: a conversation names a topic under the program's service,
// items attached to it hold texts, and clients in the same process request an item's text or hold an
// advise link that hears of every new text. There is no system DDE on Linux, so other programs cannot
// reach these items; the station's own readers, its tests and any in-process client can.
//
// Names (service, topic, item) compare without regard to case, as DDE names do. A topic is registered
// once per service and an item name once per conversation: a second registration of a taken name
// raises EDdeError, and so does a registration the registry refuses (DdeRefuseRegistrations). Freeing
// an item or its conversation withdraws it: requests for it fail and its links end.
//
// Everything runs on the window thread: a link's OnChange runs inside SetText.
#include <functional>
#include <string>
#include <vector>

#include "platform/Component.h"
#include "platform/Exceptions.h"
#include "platform/StringList.h"

namespace platform {

KORVANE_EXCEPTION_CLASS(EDdeError, Exception)

class TDdeServerItem;
class TDdeAdviseLink;

// The service the program's conversations answer under: the executable's file name without its folder,
// cut before its first dot.
std::string DdeServiceName();

// Makes the registry refuse registrations after `allowed` more have succeeded (-1: never refuse), as a
// system short of DDE resources would. For tests of a start that fails halfway.
void DdeRefuseRegistrations(int allowed);

class TDdeServerConv : public TComponent {
public:
    // Registers `topic` under the program's service; raises EDdeError when it is taken.
    TDdeServerConv(TComponent* owner, const std::string& topic);
    ~TDdeServerConv() override;

    const std::string& Topic() const { return Name(); }
    const std::string& Service() const { return service_; }
    TDdeServerItem* FindItem(const std::string& name) const;
    int ItemCount() const { return static_cast<int>(items_.size()); }

private:
    friend class TDdeServerItem;
    std::string service_;
    std::vector<TDdeServerItem*> items_; // in the order they were attached
};

class TDdeServerItem : public TComponent {
public:
    TDdeServerItem(TComponent* owner, const std::string& name);
    ~TDdeServerItem() override;

    // Attaches the item under its name to the conversation (null detaches it); raises EDdeError when
    // the conversation holds an item of that name.
    void SetServerConv(TDdeServerConv* conv);
    TDdeServerConv* ServerConv() const { return conv_; }

    const std::string& Text() const { return text_; }
    // Sets the text and passes it to every link.
    void SetText(const std::string& text);
    // The text as lines, and one more line (the text stays lines joined with CR LF after each).
    TStringList Lines() const;
    void AddLine(const std::string& line);

private:
    friend class TDdeServerConv;
    friend class TDdeAdviseLink;
    void Withdraw(); // out of its conversation; its links end

    TDdeServerConv* conv_ = nullptr;
    std::string text_;
    std::vector<TDdeAdviseLink*> links_;
};

// What a client asks for. True when the service, topic and item exist; `text` is then the item's text.
bool DdeRequest(const std::string& service, const std::string& topic, const std::string& item,
                std::string& text);

// A client's advise link on one item. A hot link is given each new text; a warm link is only told that
// the text changed (OnChange with null) and requests it when it wants it.
class TDdeAdviseLink {
public:
    enum class Kind { Hot, Warm };
    using ChangeEvent = std::function<void(const std::string* text)>;

    // Active when the item exists now.
    TDdeAdviseLink(const std::string& service, const std::string& topic, const std::string& item, Kind kind,
                   ChangeEvent onChange);
    ~TDdeAdviseLink();
    TDdeAdviseLink(const TDdeAdviseLink&) = delete;
    TDdeAdviseLink& operator=(const TDdeAdviseLink&) = delete;

    // The item still exists (it was not withdrawn since the link was made).
    bool Active() const { return item_ != nullptr; }

private:
    friend class TDdeServerItem;
    TDdeServerItem* item_ = nullptr;
    Kind kind_;
    ChangeEvent onChange_;
};

} // namespace platform
