#include "components/Placemnt.h"

#include "platform/IniFile.h"

namespace components {

std::string IniReadString(const platform::TIniFile* iniObject, const std::string& section,
                          const std::string& ident, const std::string& def) {
    return iniObject ? iniObject->ReadString(section, ident, def) : def;
}

void IniWriteString(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                    const std::string& value) {
    if (iniObject) iniObject->WriteString(section, ident, value);
}

int IniReadInteger(const platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                   int def) {
    return iniObject ? iniObject->ReadInteger(section, ident, def) : def;
}

void IniWriteInteger(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                     int value) {
    if (iniObject) iniObject->WriteInteger(section, ident, value);
}

void IniEraseSection(platform::TIniFile* iniObject, const std::string& section) {
    if (iniObject) iniObject->EraseSection(section);
}

} // namespace components

#include <algorithm>

#include "platform/Exceptions.h"
#include "platform/Registry.h"
#include "platform/controls/Form.h"

namespace components {

using namespace platform;

std::string ClassNameOf(const TComponent* component) {
    std::string name = TypeName(typeid(*component));
    size_t colon = name.rfind("::");
    return colon == std::string::npos ? name : name.substr(colon + 2);
}

std::string GetDefaultSection(const TComponent* component) {
    if (!component) return {};
    if (dynamic_cast<const TForm*>(component)) return ClassNameOf(component);
    if (auto* control = dynamic_cast<const TControl*>(component)) {
        const TControl* top = control;
        while (top->Parent())
            top = top->Parent();
        if (top != control && dynamic_cast<const TForm*>(top)) return ClassNameOf(top) + component->Name();
        if (control->Parent()) return control->Parent()->Name() + component->Name();
        return component->Name();
    }
    if (component->Owner() && dynamic_cast<const TForm*>(component->Owner()))
        return ClassNameOf(component->Owner()) + "." + component->Name();
    return component->Name();
}

TFormPlacement::TFormPlacement(TComponent* owner, const std::string& name) : TComponent(owner, name) {}

TFormPlacement::~TFormPlacement() {
    for (TIniLink* link : std::vector<TIniLink*>(links_))
        link->storage_ = nullptr;
}

void TFormPlacement::RemoveLink(TIniLink* link) {
    std::erase(links_, link);
}

TForm* TFormPlacement::OwnerForm() const {
    return dynamic_cast<TForm*>(Owner());
}

std::string TFormPlacement::RootSection() const {
    if (!IniSection.empty()) return IniSection;
    return Owner() ? GetDefaultSection(Owner()) : Name();
}

TIniFile* TFormPlacement::IniObject() {
    if (!Active) return nullptr;
    if (!ini_) {
        if (UseRegistry) {
            ini_ = std::make_unique<TIniFile>(RegistryKeyFile(
                IniFileName.empty() ? "Software\\Malvoren\\Korvane\\Placement" : IniFileName));
        } else {
            std::string file = IniFileName;
            if (file.empty()) file = (Owner() ? ClassNameOf(Owner()) : std::string("Placement")) + ".INI";
            ini_ = std::make_unique<TIniFile>(file);
        }
    }
    return ini_.get();
}

void TFormPlacement::SaveFormPlacement() {
    TIniFile* ini = IniObject();
    if (!ini) return;
    if (TForm* form = OwnerForm()) {
        std::string section = RootSection();
        ini->WriteInteger(section, "Left", form->Left());
        ini->WriteInteger(section, "Top", form->Top());
        ini->WriteInteger(section, "Width", form->Width());
        ini->WriteInteger(section, "Height", form->Height());
    }
    for (TIniLink* link : std::vector<TIniLink*>(links_))
        if (link->OnSave) link->OnSave();
}

void TFormPlacement::RestoreFormPlacement() {
    TIniFile* ini = IniObject();
    if (!ini) return;
    if (TForm* form = OwnerForm()) {
        std::string section = RootSection();
        int w = ini->ReadInteger(section, "Width", form->Width());
        int h = ini->ReadInteger(section, "Height", form->Height());
        form->SetBounds(ini->ReadInteger(section, "Left", form->Left()),
                        ini->ReadInteger(section, "Top", form->Top()), w > 0 ? w : form->Width(),
                        h > 0 ? h : form->Height());
    }
    for (TIniLink* link : std::vector<TIniLink*>(links_))
        if (link->OnLoad) link->OnLoad();
}

void TIniLink::SetStorage(TFormPlacement* storage) {
    if (storage == storage_) return;
    if (storage_) storage_->RemoveLink(this);
    storage_ = storage;
    if (storage_) storage_->AddLink(this);
}

} // namespace components
