#pragma once
// The single-line edit of the headless tree: text typed through WM_CHAR at a caret, a selection that
// typing replaces, and the edit's settings.
//
// Positions (SelStart, SelLength, the caret) count bytes of the UTF-8 text and always lie on character
// boundaries; a selection runs from its anchor to the caret, either way round. Keys: Left and Right move the
// caret one character (Shift extends the selection), Home and End to the ends, Delete removes the selection
// or the character after the caret; WM_CHAR backspace removes the selection or the character before it, and a
// printable byte replaces the selection, unless ReadOnly. MaxLength (0: none) limits what typing can add, in
// bytes; text set from code is never cut.
//
// Settings: CharCase converts the whole text, now and whenever it changes (ASCII letters). A
// PasswordChar other than 0 is shown once for every character instead of the text. AutoSelect selects
// the whole text when the edit gets the focus from the keyboard or from code (not from a click, which
// puts the caret at the clicked character). With HideSelection the selection is drawn only while the
// edit has the focus. With OEMConvert a typed character makes the trip to the OEM code page (437) and
// back, as file names for DOS programs need it: a character 437 lacks becomes its plain letter or '?'.
// The bytes of a character typed one WM_CHAR at a time are collected until it is whole, and the trip is
// made from the Windows code page (1252): a character outside it, or bytes that are no UTF-8, give '?'.
// BorderStyle bsSingle draws the sunken frame, bsNone none.
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>

#include "platform/controls/StdCtrls.h"

namespace platform::widgets {

enum class TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };

// A key typed into an edit; the handler may change it, or set it to 0 to drop it.
using TKeyPressEvent = std::function<void(TComponent* sender, char& key)>;

class TEdit : public TCustomControl {
public:
    explicit TEdit(TComponent* owner = nullptr, const std::string& name = {});

    int MaxLength = 0;
    bool ReadOnly = false;
    bool AutoSelect = true;
    bool OEMConvert = false;
    TEditCharCase CharCase() const { return charCase_; }
    void SetCharCase(TEditCharCase charCase);
    char PasswordChar() const { return passwordChar_; }
    void SetPasswordChar(char c);
    bool HideSelection() const { return hideSelection_; }
    void SetHideSelection(bool hide);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    int SelStart() const { return std::min(anchor_, caret_); }
    // Moves the caret there (clamped to the text) and empties the selection.
    void SetSelStart(int start);
    int SelLength() const { return std::abs(caret_ - anchor_); }
    // Selects from SelStart on (clamped to the text).
    void SetSelLength(int length);
    std::string SelText() const;
    void SelectAll();
    int CaretPos() const { return caret_; }
    // The text as shown: the password characters, or the text itself.
    std::string DisplayText() const;

    TNotifyEvent OnChange;
    TKeyPressEvent OnKeyPress;

protected:
    void Paint() override;
    void WndProc(TMessage& message) override;
    void TextChanged() override;
    void KeyDown(uint16_t& key, TShiftState shift) override;
    void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
    void DoEnter() override;
    void DoExit() override;

private:
    // A typed byte; with OEMConvert, collected into whole characters first.
    void TypeChar(char key);
    void TypeByte(char key);
    // Replaces the selection with s and puts the caret after it.
    void ReplaceSelection(const std::string& s);
    // Selects from anchor to caret, both clamped to the text and moved back to character boundaries.
    void Select(int anchor, int caret);
    int PrevChar(int pos) const;
    int NextChar(int pos) const;
    std::string Cased(const std::string& text) const;
    // The shown text up to a position, for measuring.
    std::string DisplayUpTo(int pos) const;
    // The character boundary nearest to x (client coordinates).
    int PositionAt(int x);

    TEditCharCase charCase_ = TEditCharCase::ecNormal;
    char passwordChar_ = 0;
    bool hideSelection_ = true;
    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    int anchor_ = 0;
    int caret_ = 0;
    int pendingCaret_ = -1; // where typing leaves the caret once the new text is in
    bool focusByMouse_ = false;
    std::string oemPending_; // with OEMConvert: the bytes typed so far of a character not yet whole
};

} // namespace platform::widgets
