#include "platform/Streaming.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "platform/Strings.h"

namespace platform {

// ---- values ----

TStreamValue TStreamValue::Int(int64_t v) {
    TStreamValue r;
    r.kind = Kind::Integer;
    r.integer = v;
    return r;
}

TStreamValue TStreamValue::Str(const std::string& s) {
    TStreamValue r;
    r.kind = Kind::String;
    r.text = s;
    return r;
}

TStreamValue TStreamValue::Ident(const std::string& name) {
    TStreamValue r;
    r.kind = Kind::Ident;
    r.text = name;
    return r;
}

TStreamValue TStreamValue::SetOf(std::vector<std::string> members) {
    TStreamValue r;
    r.kind = Kind::Set;
    r.items = std::move(members);
    return r;
}

TStreamValue TStreamValue::ListOf(std::vector<std::string> strings) {
    TStreamValue r;
    r.kind = Kind::List;
    r.items = std::move(strings);
    return r;
}

namespace {
[[noreturn]] void WrongKind(const char* wanted) {
    throw EReadError(std::string("Invalid property value: ") + wanted + " expected");
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}
} // namespace

int64_t TStreamValue::AsInteger() const {
    if (kind != Kind::Integer) WrongKind("integer");
    return integer;
}

const std::string& TStreamValue::AsString() const {
    if (kind != Kind::String) WrongKind("string");
    return text;
}

const std::string& TStreamValue::AsIdent() const {
    if (kind != Kind::Ident) WrongKind("identifier");
    return text;
}

bool TStreamValue::AsBoolean() const {
    if (kind == Kind::Ident && SameText(text, "True")) return true;
    if (kind == Kind::Ident && SameText(text, "False")) return false;
    WrongKind("boolean");
}

const std::vector<std::string>& TStreamValue::AsSet() const {
    if (kind != Kind::Set) WrongKind("set");
    return items;
}

const std::vector<std::string>& TStreamValue::AsList() const {
    if (kind != Kind::List) WrongKind("list");
    return items;
}

std::string TStreamValue::ToText() const {
    switch (kind) {
    case Kind::Integer:
        return std::to_string(integer);
    case Kind::String:
        return Quote(text);
    case Kind::Ident:
        return text;
    case Kind::Set: {
        std::string out = "[";
        for (size_t i = 0; i < items.size(); ++i)
            out += (i ? ", " : "") + items[i];
        return out + "]";
    }
    case Kind::List: {
        std::string out = "(";
        for (size_t i = 0; i < items.size(); ++i) {
            if (i) out += ' ';
            out += Quote(items[i]);
        }
        out += ')';
        return out;
    }
    }
    return {};
}

TStreamValue SetFromBits(uint32_t bits, const std::vector<std::string>& names) {
    std::vector<std::string> members;
    for (size_t i = 0; i < names.size() && i < 32; ++i)
        if (bits & (1u << i)) members.push_back(names[i]);
    return TStreamValue::SetOf(members);
}

uint32_t BitsFromSet(const TStreamValue& value, const std::vector<std::string>& names) {
    uint32_t bits = 0;
    for (const std::string& m : value.AsSet()) {
        auto it =
            std::find_if(names.begin(), names.end(), [&](const std::string& n) { return SameText(n, m); });
        if (it == names.end()) throw EReadError("Invalid property value: " + m);
        bits |= 1u << (it - names.begin());
    }
    return bits;
}

int EnumFromIdent(const TStreamValue& value, const std::vector<std::string>& names) {
    const std::string& id = value.AsIdent();
    for (size_t i = 0; i < names.size(); ++i)
        if (SameText(names[i], id)) return static_cast<int>(i);
    throw EReadError("Invalid property value: " + id);
}

// ---- registry ----

namespace {
struct Registry {
    std::map<std::string, TClassInfo, std::less<>> byName; // names compared case-insensitively below
    std::map<std::type_index, std::string> byType;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

std::string Key(const std::string& name) {
    return UpperCase(name);
}

// The properties of a class and its registered ancestors, ancestors first.
std::vector<const TPropInfo*> PropertyChain(const TClassInfo& info) {
    std::vector<const TClassInfo*> chain;
    for (const TClassInfo* c = &info; c && chain.size() < 64;
         c = c->parentClass.empty() ? nullptr : FindClassInfo(c->parentClass))
        chain.push_back(c);
    std::vector<const TPropInfo*> props;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        for (const TPropInfo& p : (*it)->properties)
            props.push_back(&p);
    return props;
}
} // namespace

void RegisterClass(std::type_index type, TClassInfo info) {
    Registry& r = TheRegistry();
    r.byType[type] = info.className;
    std::string key = Key(info.className);
    r.byName[key] = std::move(info);
}

bool IsClassRegistered(const std::string& className) {
    return FindClassInfo(className) != nullptr;
}

const TClassInfo* FindClassInfo(const std::string& className) {
    Registry& r = TheRegistry();
    auto it = r.byName.find(Key(className));
    return it == r.byName.end() ? nullptr : &it->second;
}

const TClassInfo* FindClassInfo(std::type_index type) {
    Registry& r = TheRegistry();
    auto it = r.byType.find(type);
    return it == r.byType.end() ? nullptr : FindClassInfo(it->second);
}

// ---- writer ----

namespace {
class WritingFiler : public TFiler {
public:
    std::vector<std::pair<std::string, TStreamValue>> values;
    void DefineProperty(const std::string& name, TReadProc, TWriteProc write, bool hasData) override {
        if (hasData && write) values.emplace_back(name, write());
    }
};

void WriteObject(TComponent& c, int depth, std::string& out) {
    const TClassInfo* info = FindClassInfo(std::type_index(typeid(c)));
    if (!info) throw Exception("Class " + TypeName(typeid(c)) + " is not registered");
    std::string indent(static_cast<size_t>(depth) * 2, ' ');
    out +=
        indent + "object " + (c.Name().empty() ? info->className : c.Name() + ": " + info->className) + "\n";
    for (const TPropInfo* p : PropertyChain(*info)) {
        if (!p->get || (p->stored && !p->stored(c))) continue;
        TStreamValue v = p->get(c);
        if (p->hasDefault && v == p->defaultValue) continue;
        out += indent + "  " + p->name + " = " + v.ToText() + "\n";
    }
    auto* streamable = dynamic_cast<TStreamable*>(&c);
    if (streamable) {
        WritingFiler filer;
        streamable->DefineProperties(filer);
        for (auto& [name, v] : filer.values)
            out += indent + "  " + name + " = " + v.ToText() + "\n";
        streamable->GetChildren([&](TComponent* child) {
            if (child) WriteObject(*child, depth + 1, out);
        });
    }
    out += indent + "end\n";
}
} // namespace

std::string WriteComponent(TComponent& component) {
    std::string out;
    WriteObject(component, 0, out);
    return out;
}

// ---- reader ----

namespace {
struct PropLine {
    std::string name;
    TStreamValue value;
    int line;
};

struct Node {
    int line = 0;
    std::string name;
    std::string className;
    std::vector<PropLine> props;
    std::vector<std::unique_ptr<Node>> children;
};

[[noreturn]] void Fail(int line, const std::string& what) {
    throw EReadError(Format("Line %d: %s", line, what.c_str()));
}

bool IsIdentChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
}

class ValueParser {
public:
    ValueParser(const std::string& s, int line) : s_(s), line_(line) {}

    TStreamValue Parse() {
        TStreamValue v = Value();
        Skip();
        if (pos_ != s_.size()) Fail(line_, "Unexpected text after the value");
        return v;
    }

private:
    void Skip() {
        while (pos_ < s_.size() && s_[pos_] == ' ')
            ++pos_;
    }
    bool At(char c) {
        Skip();
        return pos_ < s_.size() && s_[pos_] == c;
    }
    std::string Ident() {
        Skip();
        size_t start = pos_;
        while (pos_ < s_.size() && IsIdentChar(s_[pos_]))
            ++pos_;
        if (start == pos_) Fail(line_, "Identifier expected");
        return s_.substr(start, pos_ - start);
    }
    std::string String() {
        Skip();
        if (pos_ >= s_.size() || s_[pos_] != '\'') Fail(line_, "String expected");
        std::string out;
        for (++pos_;; ++pos_) {
            if (pos_ >= s_.size()) Fail(line_, "Unterminated string");
            if (s_[pos_] == '\'') {
                if (pos_ + 1 < s_.size() && s_[pos_ + 1] == '\'') {
                    out += '\'';
                    ++pos_;
                    continue;
                }
                ++pos_;
                return out;
            }
            out += s_[pos_];
        }
    }
    TStreamValue Value() {
        Skip();
        if (pos_ >= s_.size()) Fail(line_, "Value expected");
        char c = s_[pos_];
        if (c == '\'') return TStreamValue::Str(String());
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c))) {
            size_t start = pos_++;
            while (pos_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[pos_])))
                ++pos_;
            std::string digits = s_.substr(start, pos_ - start);
            if (digits == "-" || digits.size() > 19) Fail(line_, "Invalid integer " + digits);
            return TStreamValue::Int(std::stoll(digits));
        }
        if (c == '[') {
            ++pos_;
            std::vector<std::string> members;
            while (!At(']')) {
                if (!members.empty()) {
                    if (!At(',')) Fail(line_, "',' expected");
                    ++pos_;
                }
                members.push_back(Ident());
            }
            ++pos_;
            return TStreamValue::SetOf(members);
        }
        if (c == '(') {
            ++pos_;
            std::vector<std::string> strings;
            while (!At(')'))
                strings.push_back(String());
            ++pos_;
            return TStreamValue::ListOf(strings);
        }
        return TStreamValue::Ident(Ident());
    }

    const std::string& s_;
    size_t pos_ = 0;
    int line_;
};

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) return {};
    size_t b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

// "object Name: TClass" or "object TClass".
void ParseHeader(const std::string& rest, int line, Node& node) {
    size_t colon = rest.find(':');
    if (colon == std::string::npos) {
        node.className = Trim(rest);
    } else {
        node.name = Trim(rest.substr(0, colon));
        node.className = Trim(rest.substr(colon + 1));
    }
    auto valid = [](const std::string& s) { return std::all_of(s.begin(), s.end(), IsIdentChar); };
    if (node.className.empty() || !valid(node.className) || !valid(node.name))
        Fail(line, "Invalid object header");
}

std::unique_ptr<Node> Parse(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t nl = text.find('\n', start);
        if (nl == std::string::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    std::unique_ptr<Node> root;
    std::vector<Node*> stack;
    for (size_t i = 0; i < lines.size(); ++i) {
        int lineNo = static_cast<int>(i) + 1;
        std::string line = Trim(lines[i]);
        if (line.empty()) continue;
        if (line.rfind("object ", 0) == 0) {
            if (root && stack.empty()) Fail(lineNo, "Text after the last end");
            auto node = std::make_unique<Node>();
            node->line = lineNo;
            ParseHeader(line.substr(7), lineNo, *node);
            Node* raw = node.get();
            if (stack.empty())
                root = std::move(node);
            else
                stack.back()->children.push_back(std::move(node));
            stack.push_back(raw);
            continue;
        }
        if (stack.empty()) Fail(lineNo, "'object' expected");
        if (line == "end") {
            stack.pop_back();
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string::npos) Fail(lineNo, "'=' expected");
        std::string name = Trim(line.substr(0, eq));
        if (name.empty() || !std::all_of(name.begin(), name.end(), IsIdentChar))
            Fail(lineNo, "Property name expected");
        stack.back()->props.push_back({name, ValueParser(Trim(line.substr(eq + 1)), lineNo).Parse(), lineNo});
    }
    if (!root) throw EReadError("Line 1: 'object' expected");
    if (!stack.empty()) Fail(static_cast<int>(lines.size()), "'end' expected");
    return root;
}

class ReadingFiler : public TFiler {
public:
    std::map<std::string, TReadProc> readers;
    void DefineProperty(const std::string& name, TReadProc read, TWriteProc, bool) override {
        if (read) readers[Key(name)] = std::move(read);
    }
};

class Reader {
public:
    explicit Reader(TComponent* owner) : owner_(owner) {}

    TComponent* ReadObject(const Node& node, TComponent* instance, TComponent* parent) {
        const TClassInfo* info = FindClassInfo(node.className);
        if (!info) Fail(node.line, "Class " + node.className + " not found");
        TComponent* c = instance;
        if (c) {
            const TClassInfo* own = FindClassInfo(std::type_index(typeid(*c)));
            if (own != info) Fail(node.line, "The text holds a " + node.className);
        } else {
            if (!info->create) Fail(node.line, "Class " + node.className + " cannot be created");
            c = info->create(owner_ ? owner_ : root_);
        }
        if (!root_) root_ = c;
        c->SetLoading();
        if (!node.name.empty()) c->TComponent::SetName(node.name);
        ReadProperties(node, *info, *c);
        auto* streamable = dynamic_cast<TStreamable*>(c);
        if (parent && streamable) streamable->SetParentComponent(parent);
        for (const auto& child : node.children)
            ReadObject(*child, nullptr, c);
        read_.push_back(c);
        return c;
    }

    void FinishLoading() {
        for (TComponent* c : read_)
            c->Loaded();
    }

private:
    void ReadProperties(const Node& node, const TClassInfo& info, TComponent& c) {
        std::vector<const TPropInfo*> table = PropertyChain(info);
        ReadingFiler filer;
        if (auto* streamable = dynamic_cast<TStreamable*>(&c)) streamable->DefineProperties(filer);
        for (const PropLine& p : node.props) {
            auto it = std::find_if(table.begin(), table.end(),
                                   [&](const TPropInfo* t) { return SameText(t->name, p.name); });
            try {
                if (it != table.end() && (*it)->set) {
                    (*it)->set(c, p.value);
                    continue;
                }
                auto defined = filer.readers.find(Key(p.name));
                if (defined == filer.readers.end()) Fail(p.line, "Property " + p.name + " does not exist");
                defined->second(p.value);
            } catch (const EReadError& e) {
                if (std::string(e.what()).rfind("Line ", 0) == 0) throw;
                Fail(p.line, e.what());
            }
        }
    }

    TComponent* owner_;
    TComponent* root_ = nullptr;
    std::vector<TComponent*> read_;
};
} // namespace

TComponent* ReadComponent(const std::string& text, TComponent* instance, TComponent* owner) {
    std::unique_ptr<Node> root = Parse(text);
    Reader reader(owner);
    TComponent* result = reader.ReadObject(*root, instance, nullptr);
    reader.FinishLoading();
    return result;
}

} // namespace platform
