#pragma once
// A small property streamer for components that are stored as text: each streamable class registers a
// table of its properties (name, getter, setter, default, stored predicate) and a factory under its
// class name; a writer walks a component and its children, a reader builds them back.
//
// The text format (one object per block, two blanks of indent per level):
//   object Bar: TSpeedBar            (or "object TSpeedbarSection" for an unnamed component)
//     Align = alLeft                 identifiers: enumerations and True/False
//     Options = [sbAllowDrag]        sets of identifiers
//     Caption = 'It''s'              strings, quotes doubled; integers as decimal digits
//     Sections = ('File' 'Edit')     lists of strings
//     object ...                     children, in the order GetChildren gives them
//   end
// Written: every property of the class chain whose value differs from its default (a property with
// no default is always written) and whose stored predicate holds, then the properties a component
// defines itself (DefineProperties) that have data. There is no ancestor: nothing is compared with an
// inherited form.
// Read: the root object's properties go to the given instance (or a new one); each child is created
// by its class name, owned by the reader's owner, marked loading, given its name and properties, then
// handed to its parent component (SetParentComponent) before its own children are read. When the whole
// text has been read, Loaded runs on every object read, children before their parents. A property the
// class does not know, an unknown class or a malformed line raises EReadError with the line number.
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <typeindex>
#include <vector>

#include "platform/Component.h"
#include "platform/Exceptions.h"

namespace platform {

KORVANE_EXCEPTION_CLASS(EReadError, Exception)

// One property value as the text holds it.
struct TStreamValue {
    enum class Kind { Integer, String, Ident, Set, List };
    Kind kind = Kind::Integer;
    int64_t integer = 0;
    std::string text;               // a string or an identifier
    std::vector<std::string> items; // set members or list strings

    static TStreamValue Int(int64_t v);
    static TStreamValue Str(const std::string& s);
    static TStreamValue Ident(const std::string& name);
    static TStreamValue Bool(bool v) { return Ident(v ? "True" : "False"); }
    static TStreamValue SetOf(std::vector<std::string> members);
    static TStreamValue ListOf(std::vector<std::string> strings);

    // Typed reads; each raises EReadError when the value is of another kind.
    int64_t AsInteger() const;
    const std::string& AsString() const;
    const std::string& AsIdent() const;
    bool AsBoolean() const;
    const std::vector<std::string>& AsSet() const;
    const std::vector<std::string>& AsList() const;

    // The value as it is written.
    std::string ToText() const;
    friend bool operator==(const TStreamValue& a, const TStreamValue& b) { return a.ToText() == b.ToText(); }
};

// Names of the members of a bit set: bit i is names[i].
TStreamValue SetFromBits(uint32_t bits, const std::vector<std::string>& names);
uint32_t BitsFromSet(const TStreamValue& value, const std::vector<std::string>& names);
// An enumeration value by its position in names; EReadError for an unknown identifier.
int EnumFromIdent(const TStreamValue& value, const std::vector<std::string>& names);

struct TPropInfo {
    std::string name;
    std::function<TStreamValue(TComponent&)> get;
    std::function<void(TComponent&, const TStreamValue&)> set;
    bool hasDefault = false;
    TStreamValue defaultValue;
    std::function<bool(TComponent&)> stored; // null: always stored
};

// Typed table entries of a class T: get and set take the component as a T.
template <class T>
TPropInfo IntProperty(std::string name, std::function<int64_t(T&)> get, std::function<void(T&, int64_t)> set,
                      std::optional<int64_t> def = {}, std::function<bool(T&)> stored = {}) {
    TPropInfo p;
    p.name = std::move(name);
    p.get = [get](TComponent& c) { return TStreamValue::Int(get(static_cast<T&>(c))); };
    p.set = [set](TComponent& c, const TStreamValue& v) { set(static_cast<T&>(c), v.AsInteger()); };
    if (def) {
        p.hasDefault = true;
        p.defaultValue = TStreamValue::Int(*def);
    }
    if (stored) p.stored = [stored](TComponent& c) { return stored(static_cast<T&>(c)); };
    return p;
}

template <class T>
TPropInfo BoolProperty(std::string name, std::function<bool(T&)> get, std::function<void(T&, bool)> set,
                       std::optional<bool> def = {}) {
    TPropInfo p;
    p.name = std::move(name);
    p.get = [get](TComponent& c) { return TStreamValue::Bool(get(static_cast<T&>(c))); };
    p.set = [set](TComponent& c, const TStreamValue& v) { set(static_cast<T&>(c), v.AsBoolean()); };
    if (def) {
        p.hasDefault = true;
        p.defaultValue = TStreamValue::Bool(*def);
    }
    return p;
}

template <class T>
TPropInfo StringProperty(std::string name, std::function<std::string(T&)> get,
                         std::function<void(T&, const std::string&)> set,
                         std::optional<std::string> def = {}) {
    TPropInfo p;
    p.name = std::move(name);
    p.get = [get](TComponent& c) { return TStreamValue::Str(get(static_cast<T&>(c))); };
    p.set = [set](TComponent& c, const TStreamValue& v) { set(static_cast<T&>(c), v.AsString()); };
    if (def) {
        p.hasDefault = true;
        p.defaultValue = TStreamValue::Str(*def);
    }
    return p;
}

// An enumeration written by the identifiers in names (value i is names[i]).
template <class T>
TPropInfo EnumProperty(std::string name, std::vector<std::string> names, std::function<int(T&)> get,
                       std::function<void(T&, int)> set, std::optional<int> def = {}) {
    TPropInfo p;
    p.name = std::move(name);
    p.get = [get, names](TComponent& c) { return TStreamValue::Ident(names.at(get(static_cast<T&>(c)))); };
    p.set = [set, names](TComponent& c, const TStreamValue& v) {
        set(static_cast<T&>(c), EnumFromIdent(v, names));
    };
    if (def) {
        p.hasDefault = true;
        p.defaultValue = TStreamValue::Ident(names.at(static_cast<size_t>(*def)));
    }
    return p;
}

// A bit set written as the identifiers of its members (bit i is names[i]).
template <class T>
TPropInfo SetProperty(std::string name, std::vector<std::string> names, std::function<uint32_t(T&)> get,
                      std::function<void(T&, uint32_t)> set, std::optional<uint32_t> def = {}) {
    TPropInfo p;
    p.name = std::move(name);
    p.get = [get, names](TComponent& c) { return SetFromBits(get(static_cast<T&>(c)), names); };
    p.set = [set, names](TComponent& c, const TStreamValue& v) {
        set(static_cast<T&>(c), BitsFromSet(v, names));
    };
    if (def) {
        p.hasDefault = true;
        p.defaultValue = SetFromBits(*def, names);
    }
    return p;
}

// Properties a component reads and writes itself, beside its table (legacy names, versions).
class TFiler {
public:
    using TReadProc = std::function<void(const TStreamValue&)>;
    using TWriteProc = std::function<TStreamValue()>;
    // hasData: the writer writes the property (through write) only when true; read may be null (the
    // property is only written) and write may be null (it is only read).
    virtual void DefineProperty(const std::string& name, TReadProc read, TWriteProc write, bool hasData) = 0;
    virtual ~TFiler() = default;
};

// What a streamable component adds to TComponent.
class TStreamable {
public:
    virtual ~TStreamable() = default;
    // The components written as this one's children, in order.
    virtual void GetChildren(const std::function<void(TComponent*)>& proc) { (void)proc; }
    // A child read from a stream is handed to the object it was written under.
    virtual void SetParentComponent(TComponent* parent) { (void)parent; }
    virtual void DefineProperties(TFiler& filer) { (void)filer; }
};

struct TClassInfo {
    std::string className;
    std::string parentClass;                        // empty: none
    std::function<TComponent*(TComponent*)> create; // null: not creatable from a stream
    std::vector<TPropInfo> properties;
};

// The class registry. Registering a name again replaces its entry.
void RegisterClass(std::type_index type, TClassInfo info);
bool IsClassRegistered(const std::string& className);
const TClassInfo* FindClassInfo(const std::string& className);
const TClassInfo* FindClassInfo(std::type_index type);

// Writes a component and its children.
std::string WriteComponent(TComponent& component);
// Reads the text into `instance` (its class must match the text's) or, when null, into a new component
// owned by `owner`. Children are owned by `owner` (by the instance when owner is null). Returns the root.
TComponent* ReadComponent(const std::string& text, TComponent* instance, TComponent* owner);

} // namespace platform
