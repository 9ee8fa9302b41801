#include "platform/controls/Edit.h"

#include "platform/Strings.h"
#include "platform/graphics/Font.h"

namespace platform::widgets {

using gfx::TRect;

namespace {
bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// A typed character of the Latin-1 (Windows) code page after the trip to the OEM code page (437, the
// DOS code page of the English-language systems) and back: what 437 holds comes back unchanged, a
// letter it lacks as its plain letter, anything else as '?'. Indexed by the byte less 0x80.
constexpr char kOemRoundTrip[] =
    "???\x83??????S?O?Z?" // 0x80-0x8F
    "??????????s?o?zY" // 0x90-0x9F
    "\xA0\xA1\xA2\xA3?\xA5????\xAA\xAB\xAC???" // 0xA0-0xAF
    "\xB0\xB1\xB2??\xB5?\xB7??\xBA\xBB\xBC\xBD?\xBF" // 0xB0-0xBF
    "AAAA\xC4\xC5\xC6\xC7" "E\xC9" "EEIIII" // 0xC0-0xCF
    "D\xD1OOOO\xD6?OUUU\xDCY?\xDF" // 0xD0-0xDF
    "\xE0\xE1\xE2" "a\xE4\xE5\xE6\xE7\xE8\xE9\xEA\xEB\xEC\xED\xEE\xEF" // 0xE0-0xEF
    "d\xF1\xF2\xF3\xF4o\xF6\xF7o\xF9\xFA\xFB\xFCy?\xFF"; // 0xF0-0xFF

static_assert(sizeof(kOemRoundTrip) == 0x80 + 1);

// The bytes of the UTF-8 character that `lead` begins; 0 for a byte that begins none.
size_t Utf8Length(unsigned char lead) {
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0;
}

std::string Utf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | ((c >> 12) & 0x0F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// The character a byte of the Windows code page stands for.
char32_t FromWindows(unsigned char b) {
    return gfx::DecodeText(std::string(1, static_cast<char>(b)))[0];
}

// The byte of the Windows code page for a character (at least 0x80), or 0 when it has none.
unsigned char ToWindows(char32_t c) {
    if (c >= 0xA0 && c <= 0xFF) return static_cast<unsigned char>(c);
    for (unsigned b = 0x80; b < 0xA0; ++b)
        if (FromWindows(static_cast<unsigned char>(b)) == c) return static_cast<unsigned char>(b);
    return 0;
}

// One whole UTF-8 character after the trip, as UTF-8.
std::string OemRoundTrip(const std::string& character) {
    std::u32string decoded = gfx::DecodeText(character);
    if (decoded.size() != 1 || Utf8(decoded[0]) != character) return "?"; // no UTF-8, or overlong
    if (decoded[0] < 0x80) return character;
    unsigned char b = ToWindows(decoded[0]);
    if (b == 0) return "?";
    return Utf8(FromWindows(static_cast<unsigned char>(kOemRoundTrip[b - 0x80])));
}
} // namespace

TEdit::TEdit(TComponent* owner, const std::string& name) : TCustomControl(owner, name) {
    SetBounds(0, 0, 121, 21);
    SetTabStop(true);
    SetColor(gfx::clWindow);
}

void TEdit::SetCharCase(TEditCharCase charCase) {
    if (charCase == charCase_) return;
    charCase_ = charCase;
    pendingCaret_ = caret_;
    SetText(Cased(Text()));
    pendingCaret_ = -1;
}

void TEdit::SetPasswordChar(char c) {
    if (c == passwordChar_) return;
    passwordChar_ = c;
    Invalidate();
}

void TEdit::SetHideSelection(bool hide) {
    if (hide == hideSelection_) return;
    hideSelection_ = hide;
    Invalidate();
}

void TEdit::SetBorderStyle(TBorderStyle style) {
    if (style == borderStyle_) return;
    borderStyle_ = style;
    Invalidate();
}

std::string TEdit::Cased(const std::string& text) const {
    switch (charCase_) {
    case TEditCharCase::ecUpperCase:
        return UpperCase(text);
    case TEditCharCase::ecLowerCase:
        return LowerCase(text);
    default:
        return text;
    }
}

// ---- positions and selection ----

int TEdit::PrevChar(int pos) const {
    const std::string& t = Text();
    pos = std::clamp(pos, 0, static_cast<int>(t.size()));
    if (pos > 0) --pos;
    while (pos > 0 && IsContinuation(t[static_cast<size_t>(pos)]))
        --pos;
    return pos;
}

int TEdit::NextChar(int pos) const {
    const std::string& t = Text();
    int size = static_cast<int>(t.size());
    pos = std::clamp(pos, 0, size);
    if (pos < size) ++pos;
    while (pos < size && IsContinuation(t[static_cast<size_t>(pos)]))
        ++pos;
    return pos;
}

void TEdit::Select(int anchor, int caret) {
    const std::string& t = Text();
    auto boundary = [&](int pos) {
        pos = std::clamp(pos, 0, static_cast<int>(t.size()));
        while (pos > 0 && pos < static_cast<int>(t.size()) && IsContinuation(t[static_cast<size_t>(pos)]))
            --pos;
        return pos;
    };
    anchor = boundary(anchor);
    caret = boundary(caret);
    if (anchor == anchor_ && caret == caret_) return;
    anchor_ = anchor;
    caret_ = caret;
    Invalidate();
}

void TEdit::SetSelStart(int start) {
    Select(start, start);
}

void TEdit::SetSelLength(int length) {
    int start = SelStart();
    Select(start, start + std::max(length, 0));
}

std::string TEdit::SelText() const {
    return Text().substr(static_cast<size_t>(SelStart()), static_cast<size_t>(SelLength()));
}

void TEdit::SelectAll() {
    Select(0, static_cast<int>(Text().size()));
}

std::string TEdit::DisplayUpTo(int pos) const {
    std::string shown = Text().substr(0, static_cast<size_t>(pos));
    if (!passwordChar_) return shown;
    size_t chars = std::count_if(shown.begin(), shown.end(), [](char c) { return !IsContinuation(c); });
    return std::string(chars, passwordChar_);
}

std::string TEdit::DisplayText() const {
    return DisplayUpTo(static_cast<int>(Text().size()));
}

// ---- typing ----

void TEdit::ReplaceSelection(const std::string& s) {
    const std::string& text = Text();
    size_t start = static_cast<size_t>(SelStart());
    std::string changed = text.substr(0, start) + s + text.substr(start + static_cast<size_t>(SelLength()));
    int caret = static_cast<int>(start + s.size());
    pendingCaret_ = caret;
    SetText(changed);
    pendingCaret_ = -1;
    Select(caret, caret);
}

void TEdit::TypeChar(char key) {
    if (!OEMConvert) return TypeByte(key);
    if (!oemPending_.empty() && !IsContinuation(key)) { // the character was cut short
        oemPending_.clear();
        TypeByte('?');
    }
    oemPending_ += key;
    size_t length = Utf8Length(static_cast<unsigned char>(oemPending_[0]));
    if (length != 0 && oemPending_.size() < length) return; // more of it to come
    std::string typed = length == 0 ? "?" : OemRoundTrip(oemPending_);
    oemPending_.clear();
    for (char c : typed)
        TypeByte(c);
}

void TEdit::TypeByte(char key) {
    if (OnKeyPress) OnKeyPress(this, key);
    if (key == 0 || ReadOnly) return;
    if (key == '\b') {
        if (SelLength() == 0) Select(PrevChar(caret_), caret_);
        ReplaceSelection("");
        return;
    }
    if (static_cast<unsigned char>(key) < ' ') return;
    int after = static_cast<int>(Text().size()) - SelLength() + 1;
    if (MaxLength > 0 && after > MaxLength) return;
    ReplaceSelection(std::string(1, key));
}

void TEdit::TextChanged() {
    std::string cased = Cased(Text());
    if (cased != Text()) {
        SetText(cased); // the change of case finishes the change
        return;
    }
    // Text set from code puts the caret at the start.
    int caret = std::max(pendingCaret_, 0);
    anchor_ = caret_ = 0;
    Select(caret, caret);
    if (OnChange) OnChange(this);
}

void TEdit::KeyDown(uint16_t& key, TShiftState shift) {
    TCustomControl::KeyDown(key, shift);
    bool extend = (shift & ssShift) != 0;
    int size = static_cast<int>(Text().size());
    auto moveTo = [&](int caret) { Select(extend ? anchor_ : caret, caret); };
    switch (key) {
    case VK_LEFT:
        if (!extend && SelLength() > 0)
            moveTo(SelStart());
        else
            moveTo(PrevChar(caret_));
        break;
    case VK_RIGHT:
        if (!extend && SelLength() > 0)
            moveTo(SelStart() + SelLength());
        else
            moveTo(NextChar(caret_));
        break;
    case VK_HOME:
        moveTo(0);
        break;
    case VK_END:
        moveTo(size);
        break;
    case VK_DELETE:
        if (ReadOnly) break;
        if (SelLength() == 0) Select(caret_, NextChar(caret_));
        ReplaceSelection("");
        break;
    default:
        break;
    }
}

// ---- focus and mouse ----

int TEdit::PositionAt(int x) {
    gfx::Canvas& c = Canvas();
    c.Font = Font();
    int left = borderStyle_ == TBorderStyle::bsSingle ? 2 : 1;
    int size = static_cast<int>(Text().size());
    int best = 0;
    int bestDistance = std::abs(x - left);
    for (int pos = NextChar(0); pos <= size && pos > 0; pos = NextChar(pos)) {
        int distance = std::abs(x - left - c.TextWidth(DisplayUpTo(pos)));
        if (distance < bestDistance) {
            best = pos;
            bestDistance = distance;
        }
        if (pos == size) break;
    }
    return best;
}

void TEdit::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (button == TMouseButton::mbLeft) {
        focusByMouse_ = true;
        SetFocus();
        focusByMouse_ = false;
        int pos = PositionAt(x);
        Select(pos, pos);
    }
    TCustomControl::MouseDown(button, shift, x, y);
}

void TEdit::DoEnter() {
    if (AutoSelect && !focusByMouse_) SelectAll();
    if (hideSelection_) Invalidate();
    TCustomControl::DoEnter();
}

void TEdit::DoExit() {
    if (hideSelection_) Invalidate();
    TCustomControl::DoExit();
}

// ---- painting ----

void TEdit::Paint() {
    gfx::Canvas& c = Canvas();
    TRect r = ClientRect();
    if (borderStyle_ == TBorderStyle::bsSingle) c.Frame3D(r, gfx::clBtnShadow, gfx::clBtnHighlight, 1);
    c.Brush.Color = Color();
    c.Brush.Style = gfx::bsSolid;
    c.FillRect(r);
    c.Font = Font();
    c.Brush.Style = gfx::bsClear;
    const unsigned flags = gfx::DT_LEFT | gfx::DT_VCENTER | gfx::DT_SINGLELINE | gfx::DT_NOPREFIX;
    TRect t = {r.Left + 1, r.Top, r.Right, r.Bottom};
    gfx::DrawText(c, DisplayText(), t, flags);
    if (SelLength() == 0 || (hideSelection_ && !Focused())) return;
    // The selected characters again, in the highlight colours.
    int from = t.Left + c.TextWidth(DisplayUpTo(SelStart()));
    int to = t.Left + c.TextWidth(DisplayUpTo(SelStart() + SelLength()));
    TRect sel = {from, r.Top, std::min(to, r.Right), r.Bottom};
    c.Brush.Color = gfx::clHighlight;
    c.Brush.Style = gfx::bsSolid;
    c.FillRect(sel);
    c.Brush.Style = gfx::bsClear;
    c.Font.SetColor(gfx::clHighlightText);
    std::string selected = DisplayUpTo(SelStart() + SelLength()).substr(DisplayUpTo(SelStart()).size());
    gfx::DrawText(c, selected, sel, flags);
}

void TEdit::WndProc(TMessage& message) {
    if (message.Msg == WM_CHAR) {
        TypeChar(static_cast<char>(message.WParam));
        return;
    }
    if (message.Msg == WM_GETDLGCODE) {
        message.Result = DLGC_WANTARROWS;
        return;
    }
    TCustomControl::WndProc(message);
}

} // namespace platform::widgets
