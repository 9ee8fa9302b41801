#pragma once
// INI access of the placement storage: reads, writes and erasures through the storage's INI object.
// Without an object (no storage linked) a read gives its default and a write or erasure does nothing.
#include <string>

namespace platform {
class TIniFile;
}

namespace components {

std::string IniReadString(const platform::TIniFile* iniObject, const std::string& section,
                          const std::string& ident, const std::string& def);
void IniWriteString(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                    const std::string& value);
int IniReadInteger(const platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                   int def);
void IniWriteInteger(platform::TIniFile* iniObject, const std::string& section, const std::string& ident,
                     int value);
void IniEraseSection(platform::TIniFile* iniObject, const std::string& section);

} // namespace components

#include <functional>
#include <memory>
#include <vector>

#include "platform/Component.h"

namespace platform {
class TForm;
}

namespace components {

// The default INI section of a component: a form's class name; a control's parent form's class name
// followed by its name (or its parent's name followed by its name when it lies on no form); any other
// component's name, as "FormClass.Name" when its owner is a form.
std::string GetDefaultSection(const platform::TComponent* component);
// A class name without its namespace.
std::string ClassNameOf(const platform::TComponent* component);

class TIniLink;

// The placement storage of a form: an INI file or a registry key (platform/Registry.h) in which the
// form's bounds and the layouts of the components linked to it are saved. The INI object is open while
// the storage saves or restores (and whenever asked for through IniObject).
class TFormPlacement : public platform::TComponent {
public:
    explicit TFormPlacement(platform::TComponent* owner = nullptr, const std::string& name = {});
    ~TFormPlacement() override;

    // The file (or the registry key when UseRegistry) and the root section; empty names mean the
    // defaults: "<owner form's class>.INI" or the key "Software\Malvoren\Korvane\Placement", and the
    // owner form's default section.
    std::string IniFileName;
    std::string IniSection;
    bool UseRegistry = false;
    bool Active = true;

    std::string RootSection() const;
    // The open INI object (opened on demand), or null when the storage is not active.
    platform::TIniFile* IniObject();
    void CloseIni() { ini_.reset(); }

    // Saves the owner form's bounds and runs every link's save event; restores them likewise.
    void SaveFormPlacement();
    void RestoreFormPlacement();

private:
    friend class TIniLink;
    void AddLink(TIniLink* link) { links_.push_back(link); }
    void RemoveLink(TIniLink* link);
    platform::TForm* OwnerForm() const;

    std::unique_ptr<platform::TIniFile> ini_;
    std::vector<TIniLink*> links_;
};

// The link of a component to a placement storage: the storage runs OnSave and OnLoad when it saves
// and restores.
class TIniLink {
public:
    TIniLink() = default;
    ~TIniLink() { SetStorage(nullptr); }
    TIniLink(const TIniLink&) = delete;
    TIniLink& operator=(const TIniLink&) = delete;

    TFormPlacement* Storage() const { return storage_; }
    // Moves the link from the old storage to the new one (null: none).
    void SetStorage(TFormPlacement* storage);
    platform::TIniFile* GetIniObject() const { return storage_ ? storage_->IniObject() : nullptr; }
    // The storage's root section followed by a backslash; empty without storage.
    std::string GetRootSection() const { return storage_ ? storage_->RootSection() + "\\" : std::string(); }

    std::function<void()> OnSave;
    std::function<void()> OnLoad;

private:
    friend class TFormPlacement;
    TFormPlacement* storage_ = nullptr;
};

} // namespace components
