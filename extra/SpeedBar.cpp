#include "extra/SpeedBar.h"

#include "extra/BtnControl.h"
#include "extra/SbSetup.h"

#include <algorithm>
#include <cmath>

#include "components/StrUtils.h"
#include "platform/IniFile.h"
#include "platform/Numeric.h"
#include "platform/StringList.h"
#include "platform/Strings.h"
#include "platform/controls/ImgList.h"
#include "platform/controls/Screen.h"
#include "platform/controls/SystemMetrics.h"

namespace extra {

using namespace platform;
using namespace platform::widgets;
using gfx::TPoint;
using gfx::TRect;

namespace {
// Sizes and offsets beyond any screen are cut to this, and button places to the window coordinates'
// range, so that the sums of the layout stay well inside an int and the grid search stays short.
constexpr int kMaxButtonExtent = 4096;
constexpr int kMaxButtonPlace = 32767;

// A stored integer as an int, saturated at the int range.
int Narrow(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX));
}

bool Horizontal(TAlign a) {
    return a == TAlign::alTop || a == TAlign::alBottom;
}
bool IsEdge(TAlign a) {
    return a == TAlign::alTop || a == TAlign::alBottom || a == TAlign::alLeft || a == TAlign::alRight;
}

// Shows an action on an item.
class TSpeedItemActionLink : public TBasicActionLink {
public:
    explicit TSpeedItemActionLink(TSpeedItem* item) : item_(item) {}

protected:
    void SetCaption(const std::string& caption) override { item_->SetCaption(caption); }
    void SetEnabled(bool enabled) override { item_->SetEnabled(enabled); }
    void SetHint(const std::string& hint) override { item_->SetHint(hint); }
    void SetImageIndex(int index) override { item_->SetImageIndex(index); }

private:
    TSpeedItem* item_;
};
} // namespace

int SpeedBarGridStep(int size) {
    if (size <= 1) return 1;
    int step = std::max(1, std::min(8, size / 3));
    while (size % step != 0)
        ++step;
    if (step == size)
        for (step = size - 1; step >= 2 && size % step != 0; --step) {
        }
    return std::max(step, 1);
}

TAlign SpeedBarTargetEdge(int w, int h, TPoint p, TAlign current) {
    if (w <= 0 || h <= 0) return current;
    double d1 = static_cast<double>(h) * p.X / w;
    double d2 = (1.0 - static_cast<double>(p.X) / w) * h;
    if (p.Y <= d1) return p.Y < d2 ? TAlign::alTop : TAlign::alRight;
    return p.Y < d2 ? TAlign::alLeft : TAlign::alBottom;
}

TSpeedBar* FindSpeedBar(TPoint screen) {
    for (TControl* c = Screen->WindowFromPoint(screen); c; c = c->Parent())
        if (auto* bar = dynamic_cast<TSpeedBar*>(c)) return bar;
    return nullptr;
}

int NewSpeedSection(TSpeedBar* bar, const std::string& caption) {
    return bar->AddSection(caption);
}

TSpeedItem* NewSpeedItem(TComponent* owner, TSpeedBar* bar, int section, const std::string& name) {
    return bar->NewItem(owner, section, name);
}

// ---- section ----

TSpeedbarSection::TSpeedbarSection(TComponent* owner, const std::string& name) : TComponent(owner, name) {}

TSpeedbarSection::~TSpeedbarSection() {
    for (TSpeedItem* item : items_)
        item->section_ = -1;
    if (bar_) std::erase(bar_->sections_, this);
}

void TSpeedbarSection::SetCaption(const std::string& caption) {
    if (caption == caption_) return;
    if (bar_ && !Loading())
        for (TSpeedbarSection* other : bar_->sections_)
            if (other != this && other->caption_ == caption)
                throw ESpeedbarError("String list does not allow duplicates");
    caption_ = caption;
}

void TSpeedbarSection::SetParentComponent(TComponent* parent) {
    auto* bar = dynamic_cast<TSpeedBar*>(parent);
    if (bar && bar_ != bar) bar->AppendSection(this);
}

int TSpeedbarSection::Index() const {
    if (!bar_) return -1;
    auto& v = bar_->sections_;
    return static_cast<int>(std::find(v.begin(), v.end(), this) - v.begin());
}

void TSpeedbarSection::SetIndex(int index) {
    if (!bar_) return;
    auto& v = bar_->sections_;
    int old = Index();
    index = std::clamp(index, 0, static_cast<int>(v.size()) - 1);
    if (index == old) return;
    v.erase(v.begin() + old);
    v.insert(v.begin() + index, this);
    for (int s = 0; s < bar_->SectionCount(); ++s)
        for (TSpeedItem* item : bar_->sections_[static_cast<size_t>(s)]->items_)
            item->section_ = s;
}

// ---- button ----

TSpeedbarButton::TSpeedbarButton(TSpeedItem* item) : TRxSpeedButton(nullptr), item_(item) {
    SetVisible(false);
    SetParentShowHint(true);
    SetStyle(components::TButtonStyle::bsNew);
}

void TSpeedbarButton::SetBounds(int left, int top, int width, int height) {
    left = std::clamp(left, -kMaxButtonPlace, kMaxButtonPlace);
    top = std::clamp(top, -kMaxButtonPlace, kMaxButtonPlace);
    if (TSpeedBar* bar = item_ ? item_->bar_ : nullptr) {
        if (bar->Orientation() == TBarOrientation::boHorizontal)
            top = std::max(top, bar->BtnOffsetVert());
        else
            left = std::max(left, bar->BtnOffsetHorz());
    }
    TRxSpeedButton::SetBounds(left, top, width, height);
}

void TSpeedbarButton::Paint() {
    if (Visible()) TRxSpeedButton::Paint();
}

void TSpeedbarButton::PaintGlyph(gfx::Canvas& canvas, const TRect& rect, components::TRxButtonState state,
                                 bool drawMark) {
    TSpeedBar* bar = item_->bar_;
    if (bar && bar->Images() && item_->imageIndex_ >= 0) {
        ButtonGlyph().DrawEx(canvas, rect, Caption(), Layout(), Margin(), Spacing(), drawMark, bar->Images(),
                             item_->imageIndex_, state, Flat() ? components::kDrawFlat : 0);
        return;
    }
    TRxSpeedButton::PaintGlyph(canvas, rect, state, drawMark);
}

TSpeedbarButton::~TSpeedbarButton() = default;

void TSpeedbarButton::Click() {
    if (Enabled()) item_->ButtonClicked();
}

TPoint TSpeedbarButton::ImageOrigin(int x, int y) const {
    TPoint cursor = ClientToScreen(this, {x, y});
    TSpeedBar* bar = item_->bar_;
    int w = bar ? bar->BtnWidth() : Width(), h = bar ? bar->BtnHeight() : Height();
    return {cursor.X - w, cursor.Y - h};
}

void TSpeedbarButton::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TSpeedBar* bar = item_->bar_;
    if (bar && bar->Editing() && button == TMouseButton::mbLeft && Visible()) {
        // Customising: the press picks the button up, with the cursor at its bottom-right corner.
        Screen->SetCursorPos(ClientToScreen(this, {Width(), Height()}));
        dragImage_ = std::make_unique<TBtnControl>();
        dragImage_->AssignSpeedItem(item_);
        BringToFront();
        return;
    }
    TRxSpeedButton::MouseDown(button, shift, x, y);
}

void TSpeedbarButton::MouseMove(TShiftState shift, int x, int y) {
    if (!dragImage_) {
        TRxSpeedButton::MouseMove(shift, x, y);
        return;
    }
    TSpeedBar* bar = item_->bar_;
    SetVisible(false);
    TPoint origin = ImageOrigin(x, y);
    TPoint inBar = ScreenToClient(bar, origin);
    if (bar->ClientRect().Contains(inBar.X, inBar.Y))
        dragImage_->Activate({origin.X, origin.Y, origin.X + bar->BtnWidth(), origin.Y + bar->BtnHeight()});
    else
        dragImage_->ReleaseHandle();
}

void TSpeedbarButton::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (!dragImage_) {
        TRxSpeedButton::MouseUp(button, shift, x, y);
        return;
    }
    dragImage_.reset();
    TSpeedBar* bar = item_->bar_;
    if (!bar) return;
    // The drop point: the picture's top-left corner in bar coordinates.
    TPoint p = ScreenToClient(bar, ImageOrigin(x, y));
    if (bar->ClientRect().Contains(p.X, p.Y)) {
        if (bar->AcceptDropItem(item_, p.X, p.Y))
            bar->NotifyEditWin(kSbItemDropped, reinterpret_cast<intptr_t>(item_));
        else
            bar->NotifyEditWin(kSbItemLeft, reinterpret_cast<intptr_t>(bar));
    } else {
        SendToBack();
        item_->SetVisible(false);
        bar->NotifyEditWin(kSbItemLeft, reinterpret_cast<intptr_t>(bar));
    }
}

// ---- item ----

TSpeedItem::TSpeedItem(TComponent* owner, const std::string& name)
    : TComponent(owner, name), button_(std::make_unique<TSpeedbarButton>(this)) {
    button_->SetSpacing(4);
}

TSpeedItem::~TSpeedItem() {
    if (bar_) bar_->RemoveItem(this);
}

std::string TSpeedItem::SectionName() const {
    if (!bar_ || section_ < 0 || section_ >= bar_->SectionCount()) return {};
    return bar_->Sections(section_)->Caption();
}

void TSpeedItem::SetCaption(const std::string& caption) {
    std::string oldHint = Hint();
    size_t bar = oldHint.find('|');
    std::string shortHint = bar == std::string::npos ? oldHint : oldHint.substr(0, bar);
    std::string longHint = bar == std::string::npos ? std::string() : oldHint.substr(bar + 1);
    bool ownerIsControl = dynamic_cast<TControl*>(Owner()) != nullptr;
    bool rebuild = !ownerIsControl || (!Owner()->Loading() && caption_ == shortHint);
    caption_ = caption;
    if (!rebuild) return;
    size_t sep = caption.find('|');
    if (sep != std::string::npos) {
        std::string capLong = caption.substr(sep + 1);
        SetHint(capLong.empty() ? caption.substr(0, sep) + "|" + longHint : caption);
    } else {
        SetHint(bar != std::string::npos ? caption + "|" + longHint : caption + "|");
    }
}

void TSpeedItem::SetName(const std::string& name) {
    bool follow = caption_ == Name() && !(Owner() && Owner()->Loading());
    TComponent::SetName(name);
    if (follow) SetCaption(name);
}

const std::string& TSpeedItem::Hint() const {
    return button_->Hint();
}
void TSpeedItem::SetHint(const std::string& hint) {
    button_->SetHint(hint);
}
const std::string& TSpeedItem::BtnCaption() const {
    return button_->Caption();
}
void TSpeedItem::SetBtnCaption(const std::string& caption) {
    button_->SetCaption(caption);
}

void TSpeedItem::SetVisible(bool visible) {
    visible_ = visible;
    bool show = visible && (!bar_ || bar_->Visible());
    if (show && bar_ && button_->Parent() != bar_) button_->SetParent(bar_);
    button_->SetVisible(show);
}

void TSpeedItem::UpdateButtonEnabled() {
    bool on = editing_ || (enabled_ && (!bar_ || bar_->Enabled()));
    button_->SetEnabled(on);
}

void TSpeedItem::SetEnabled(bool enabled) {
    enabled_ = enabled;
    UpdateButtonEnabled();
}

void TSpeedItem::SetEditing(bool editing) {
    editing_ = editing;
    if (editing) {
        button_->SetFlat(false);
    } else if (bar_) {
        button_->SetFlat((bar_->Options() & sbFlatBtns) != 0);
    }
    UpdateButtonEnabled();
}

void TSpeedItem::SetTag(intptr_t tag) {
    TComponent::SetTag(tag);
    button_->SetTag(tag);
}

void TSpeedItem::SetImageIndex(int index) {
    if (index == imageIndex_) return;
    imageIndex_ = index;
    button_->Invalidate();
}

int TSpeedItem::Left() const {
    return button_->Left();
}
int TSpeedItem::Top() const {
    return button_->Top();
}
void TSpeedItem::SetLeft(int v) {
    button_->SetLeft(v);
}
void TSpeedItem::SetTop(int v) {
    button_->SetTop(v);
}

void TSpeedItem::Click() {
    button_->ButtonClick();
}

void TSpeedItem::ButtonClicked() {
    if (OnClick)
        OnClick(this);
    else if (actionLink_)
        actionLink_->Execute(this);
}

void TSpeedItem::SetAction(TBasicAction* action) {
    if (!action) {
        actionLink_.reset();
        return;
    }
    if (!actionLink_) actionLink_ = std::make_unique<TSpeedItemActionLink>(this);
    actionLink_->SetAction(action);
}

void TSpeedItem::Loaded() {
    TComponent::Loaded();
    if (readActionName_.empty()) return;
    auto* action = Owner() ? dynamic_cast<TBasicAction*>(Owner()->FindComponent(readActionName_)) : nullptr;
    readActionName_.clear();
    if (action) SetAction(action);
}

void TSpeedItem::DefineProperties(TFiler& filer) {
    std::string name = SectionName();
    filer.DefineProperty(
        "SectionName", [this](const TStreamValue& v) { readSectionName_ = v.AsString(); },
        [name] { return TStreamValue::Str(name); }, section_ >= 0);
    filer.DefineProperty(
        "Section",
        [this](const TStreamValue& v) {
            readSection_ = static_cast<int>(std::clamp<int64_t>(v.AsInteger(), -1, INT32_MAX));
        },
        nullptr, false);
}

void TSpeedItem::SetParentComponent(TComponent* parent) {
    auto* bar = dynamic_cast<TSpeedBar*>(parent);
    if (!bar) return;
    std::string name = readSectionName_.empty() ? SectionName() : readSectionName_;
    int section = name.empty() ? -1 : bar->SearchSection(name);
    if (section < 0) section = std::max(readSection_ >= 0 ? readSection_ : section_, 0);
    bar->AddItem(section, this);
}

// ---- bar ----

TSpeedBar::TSpeedBar(TComponent* owner, const std::string& name) : TCustomPanel(owner, name) {
    components::RegisterRxCursors();
    RegisterStreamingClasses();
    wallpaper_.OnChange = [this](gfx::TPicture&) { Invalidate(); };
    SetShowHint(true);
    SetControlStyle(ControlStyle() & ~static_cast<uint32_t>(csSetCaption));
    offsetHorz_ = offsetVert_ = MinButtonsOffset();
    TControl::SetAlign(TAlign::alTop);
    SetBounds(0, 0, 150, 2 * offsetVert_ + btnHeight_);
    SetFontDefault();
    SetParentFont(false);
    UpdateGrid();
    iniLink_.OnSave = [this] {
        if (!Name().empty())
            SaveLayoutTo(iniLink_.GetIniObject(),
                         iniLink_.GetRootSection() + components::GetDefaultSection(this));
    };
    iniLink_.OnLoad = [this] {
        if (!Name().empty())
            RestoreLayoutFrom(iniLink_.GetIniObject(),
                              iniLink_.GetRootSection() + components::GetDefaultSection(this));
    };
}

TSpeedBar::~TSpeedBar() {
    NotifyEditWin(kSbBarDestroyed, reinterpret_cast<intptr_t>(this));
    editWin_ = 0;
    OnApplyAlign = nullptr;
    OnCustomize = nullptr;
    OnPosChanged = nullptr;
    OnVisibleChanged = nullptr;
    iniLink_.SetStorage(nullptr);
    SetImages(nullptr);
    while (!sections_.empty())
        RemoveSection(0);
}

void TSpeedBar::SetFontDefault() {
    if (GetNonClientMenuFont(Font())) return;
    Font().SetName("MS Sans Serif");
    Font().SetSize(8);
    Font().SetStyle(0);
    Font().SetColor(gfx::clBtnText);
}

int TSpeedBar::MinButtonsOffset() const {
    int offset = (options_ & sbFlatBtns) ? 0 : 2;
    offset += BorderWidth();
    if (BevelOuter() != TBevelCut::bvNone) offset += BevelWidth();
    if (BevelInner() != TBevelCut::bvNone) offset += BevelWidth();
    return offset;
}

void TSpeedBar::UpdateGrid() {
    bool horizontal = orientation_ == TBarOrientation::boHorizontal;
    int along = std::max(horizontal ? btnWidth_ : btnHeight_, 1);
    int across = std::max(horizontal ? btnHeight_ : btnWidth_, 1);
    grid_ = horizontal ? TPoint{SpeedBarGridStep(along), across} : TPoint{across, SpeedBarGridStep(along)};
}

void TSpeedBar::MoveButtons(int dx, int dy) {
    ForEachItem([&](TSpeedItem* item) {
        item->button_->SetBounds(item->Left() + dx, item->Top() + dy, btnWidth_, btnHeight_);
    });
}

void TSpeedBar::SetBtnOffsetHorz(int v) {
    if (Loading()) streamed_ |= kStreamedOffsetHorz;
    SetOffsets(v, offsetVert_);
}

void TSpeedBar::SetBtnOffsetVert(int v) {
    if (Loading()) streamed_ |= kStreamedOffsetVert;
    SetOffsets(offsetHorz_, v);
}

void TSpeedBar::SetOffsets(int horz, int vert) {
    const int minimum = MinButtonsOffset();
    const int maximum = std::max(minimum, kMaxButtonExtent);
    horz = std::clamp(horz, minimum, maximum);
    vert = std::clamp(vert, minimum, maximum);
    int dx = horz - offsetHorz_, dy = vert - offsetVert_;
    offsetHorz_ = horz;
    offsetVert_ = vert;
    if (dx || dy) MoveButtons(dx, dy);
}

void TSpeedBar::ApplyButtonSize() {
    UpdateGrid();
    if (!Loading()) {
        if (orientation_ == TBarOrientation::boHorizontal)
            SetHeight(std::max(ClientHeight(), 2 * offsetVert_ + btnHeight_));
        else
            SetWidth(std::max(ClientWidth(), 2 * offsetHorz_ + btnWidth_));
    }
    ForEachItem([&](TSpeedItem* item) {
        item->button_->SetBounds(item->Left(), item->Top(), btnWidth_, btnHeight_);
    });
    NotifyEditWin(kSbSizeChanged, reinterpret_cast<intptr_t>(this));
}

void TSpeedBar::SetBtnWidth(int v) {
    if (Loading()) streamed_ |= kStreamedBtnWidth;
    v = std::min(v, kMaxButtonExtent);
    if (v == btnWidth_ || v < 1) return;
    btnWidth_ = v;
    ApplyButtonSize();
}

void TSpeedBar::SetBtnHeight(int v) {
    if (Loading()) streamed_ |= kStreamedBtnHeight;
    v = std::min(v, kMaxButtonExtent);
    if (v == btnHeight_ || v < 1) return;
    btnHeight_ = v;
    ApplyButtonSize();
}

void TSpeedBar::SetOptions(TSpeedbarOptions options) {
    bool flatChanged = ((options ^ options_) & sbFlatBtns) != 0;
    options_ = options;
    ForEachItem([&](TSpeedItem* item) {
        if (!item->editing_) item->button_->SetFlat((options & sbFlatBtns) != 0);
        item->button_->SetTransparent((options & sbTransparentBtns) != 0);
        item->button_->SetInactiveGrayed((options & sbGrayedBtns) != 0);
    });
    UpdateGrid();
    if (flatChanged) SetOffsets(offsetHorz_, offsetVert_);
    Invalidate();
}

void TSpeedBar::SetBoundLines(TBoundLines lines) {
    if (lines == boundLines_) return;
    boundLines_ = lines;
    AlignControls();
    Invalidate();
}

void TSpeedBar::AdjustClientRect(TRect& rect) const {
    TCustomPanel::AdjustClientRect(rect);
    // The bound lines keep 2 pixels of their sides for themselves.
    if (boundLines_ & blTop) rect.Top += 2;
    if (boundLines_ & blBottom) rect.Bottom -= 2;
    if (boundLines_ & blLeft) rect.Left += 2;
    if (boundLines_ & blRight) rect.Right -= 2;
}

void TSpeedBar::AlignControls() {
    TCustomPanel::AlignControls();
    if (!Designing()) SetOffsets(offsetHorz_, offsetVert_);
}

void TSpeedBar::SetImages(TImageList* images) {
    if (images == images_) return;
    if (images_) {
        images_->UnRegisterChanges(imageLink_);
        RemoveFreeNotification(images_);
    }
    images_ = images;
    if (images_) {
        FreeNotification(images_);
        imageLink_ = images_->RegisterChanges([this] {
            ForEachItem([](TSpeedItem* item) {
                if (item->imageIndex_ >= 0) item->button_->Invalidate();
            });
        });
    }
    Invalidate();
}

void TSpeedBar::Notification(TComponent* component, TOperation operation) {
    TCustomPanel::Notification(component, operation);
    if (operation == TOperation::opRemove && component == images_) images_ = nullptr;
}

void TSpeedBar::SwapOrientation() {
    std::swap(btnWidth_, btnHeight_);
    std::swap(offsetHorz_, offsetVert_);
    UpdateGrid();
    ForEachItem([&](TSpeedItem* item) {
        item->button_->SetBounds(item->Top(), item->Left(), btnWidth_, btnHeight_);
    });
    Invalidate();
    NotifyEditWin(kSbSizeChanged, reinterpret_cast<intptr_t>(this));
}

void TSpeedBar::SetOrientation(TBarOrientation orientation) {
    if (position_ == TBarPosition::bpAuto)
        throw ESpeedbarError("Cannot set this property value while Position is bpAuto");
    if (orientation == orientation_) return;
    orientation_ = orientation;
    SwapOrientation();
}

void TSpeedBar::SetPosition(TBarPosition position) {
    position_ = position;
    if (position == TBarPosition::bpAuto && IsEdge(Align())) SetAlign(Align());
}

void TSpeedBar::SetAlign(TAlign align) {
    if (Loading()) {
        // A stored alignment is taken as it is; the sizes read with it are already the right way round.
        if (align == TAlign::alNone) alignNoneRead_ = true;
        TControl::SetAlign(align);
        if (position_ == TBarPosition::bpAuto && IsEdge(align))
            orientation_ = Horizontal(align) ? TBarOrientation::boHorizontal : TBarOrientation::boVertical;
        return;
    }
    if (position_ == TBarPosition::bpAuto && !IsEdge(align))
        throw ESpeedbarError("Cannot set this property value while Position is bpAuto");
    TControl::SetAlign(align);
    if (position_ != TBarPosition::bpAuto) return;
    TBarOrientation o = Horizontal(align) ? TBarOrientation::boHorizontal : TBarOrientation::boVertical;
    if (o == orientation_) return;
    orientation_ = o;
    SwapOrientation();
}

void TSpeedBar::SetItemParams(TSpeedItem* item, bool setSize) {
    TSpeedbarButton* b = item->button_.get();
    if (setSize && !Loading()) b->SetBounds(0, 0, btnWidth_, btnHeight_);
    b->SetStyle(components::TButtonStyle::bsNew);
    b->SetFlat((options_ & sbFlatBtns) != 0);
    b->SetTransparent((options_ & sbTransparentBtns) != 0);
    b->SetInactiveGrayed((options_ & sbGrayedBtns) != 0);
    item->SetEditing(Editing());
}

int TSpeedBar::AddSection(const std::string& caption) {
    auto* section = new TSpeedbarSection(Owner() ? Owner() : this);
    section->caption_ = caption;
    AppendSection(section);
    return section->Index();
}

void TSpeedBar::AppendSection(TSpeedbarSection* section) {
    std::string base = section->caption_, title = base;
    for (int n = 1; SearchSection(title) >= 0; ++n)
        title = base + Format(" (%d)", n);
    section->caption_ = title;
    section->bar_ = this;
    sections_.push_back(section);
    int index = SectionCount() - 1;
    for (TSpeedItem* item : section->items_) {
        item->section_ = index;
        item->bar_ = this;
        SetItemParams(item, !Loading());
    }
}

TSpeedItem* TSpeedBar::NewItem(TComponent* owner, int section, const std::string& name) {
    if (section < 0 || section >= SectionCount()) return nullptr;
    auto* item = new TSpeedItem(owner);
    item->bar_ = this;
    item->section_ = section;
    sections_[static_cast<size_t>(section)]->items_.push_back(item);
    SetItemParams(item, true);
    if (!name.empty()) {
        item->TComponent::SetName(name);
        item->SetCaption(name);
        item->button_->SetVisible(false);
        item->button_->SetParent(this);
    }
    return item;
}

void TSpeedBar::AddItem(int section, TSpeedItem* item) {
    if (!item) return;
    section = std::max(section, 0); // a negative index means the first section
    if (item->bar_ == this && item->section_ >= 0) {
        int target = std::min(section, SectionCount() - 1);
        auto& from = sections_[static_cast<size_t>(item->section_)]->items_;
        std::erase(from, item);
        sections_[static_cast<size_t>(target)]->items_.push_back(item);
        item->section_ = target;
        return;
    }
    if (item->bar_ && item->bar_ != this) item->bar_->RemoveItem(item);
    if (OnAddItem) OnAddItem(item, section);
    section = std::max(section, 0);
    if (SectionCount() == 0) AddSection("");
    section = std::min(section, SectionCount() - 1);
    sections_[static_cast<size_t>(section)]->items_.push_back(item);
    item->bar_ = this;
    item->section_ = section;
    SetItemParams(item, true);
    item->button_->SetVisible(false);
    item->button_->SetParent(this);
}

void TSpeedBar::RemoveItem(TSpeedItem* item) {
    if (!item || item->bar_ != this) return;
    for (TSpeedbarSection* s : sections_)
        std::erase(s->items_, item);
    item->button_->SetParent(nullptr);
    item->bar_ = nullptr;
    item->section_ = -1;
}

void TSpeedBar::RemoveSection(int index) {
    if (index < 0 || index >= SectionCount()) return;
    TSpeedbarSection* section = sections_[static_cast<size_t>(index)];
    std::vector<TSpeedItem*> items = section->items_;
    for (TSpeedItem* item : items)
        delete item;
    delete section;
    for (int s = 0; s < SectionCount(); ++s)
        for (TSpeedItem* item : sections_[static_cast<size_t>(s)]->items_)
            item->section_ = s;
}

void TSpeedBar::DeleteSection(int index) {
    if (index < 0 || index >= SectionCount()) return;
    TSpeedbarSection* section = sections_[static_cast<size_t>(index)];
    for (TSpeedItem* item : std::vector<TSpeedItem*>(section->items_))
        RemoveItem(item);
    section->bar_ = nullptr;
    sections_.erase(sections_.begin() + index);
    for (int s = 0; s < SectionCount(); ++s)
        for (TSpeedItem* item : sections_[static_cast<size_t>(s)]->items_)
            item->section_ = s;
}

void TSpeedBar::ClearSections() {
    while (!sections_.empty())
        RemoveSection(SectionCount() - 1);
}

TSpeedItem* TSpeedBar::Items(int section, int index) const {
    if (section < 0 || section >= SectionCount()) return nullptr;
    auto& items = sections_[static_cast<size_t>(section)]->items_;
    if (index < 0 || index >= static_cast<int>(items.size())) return nullptr;
    return items[static_cast<size_t>(index)];
}

int TSpeedBar::ItemsCount(int section) const {
    if (section < 0 || section >= SectionCount()) return 0;
    return sections_[static_cast<size_t>(section)]->Count();
}

int TSpeedBar::SearchSection(const std::string& title) const {
    for (int i = 0; i < SectionCount(); ++i)
        if (sections_[static_cast<size_t>(i)]->caption_ == title) return i;
    return -1;
}

TSpeedItem* TSpeedBar::SearchItem(const std::string& name) const {
    TSpeedItem* found = nullptr;
    ForEachItem([&](TSpeedItem* item) {
        if (!found && SameText(item->Name(), name)) found = item;
    });
    return found;
}

bool TSpeedBar::FindItem(const TSpeedItem* item, int& section, int& index) const {
    for (int s = 0; s < SectionCount(); ++s)
        for (int i = 0; i < ItemsCount(s); ++i)
            if (Items(s, i) == item) {
                section = s;
                index = i;
                return true;
            }
    section = index = -1;
    return false;
}

void TSpeedBar::ForEachItem(const std::function<void(TSpeedItem*)>& proc) const {
    for (TSpeedbarSection* s : std::vector<TSpeedbarSection*>(sections_))
        for (TSpeedItem* item : std::vector<TSpeedItem*>(s->items_))
            proc(item);
}

namespace {
int SnapRound(int v, int offset, int step) {
    return static_cast<int>(std::nearbyint(static_cast<double>(v - offset) / step)) * step + offset;
}
int SnapTrunc(int v, int offset, int step) {
    return static_cast<int>(std::trunc(static_cast<double>(v - offset) / step)) * step + offset;
}
} // namespace

bool TSpeedBar::AcceptDropItem(TSpeedItem* item, int x, int y) {
    int s, i;
    if (!item || !FindItem(item, s, i)) return false;
    bool horizontal = orientation_ == TBarOrientation::boHorizontal;
    int gx = std::max(grid_.X, 1), gy = std::max(grid_.Y, 1);
    int left = horizontal ? SnapRound(x, offsetHorz_, gx) : SnapTrunc(x, offsetHorz_, gx);
    int top = horizontal ? SnapTrunc(y, offsetVert_, gy) : SnapRound(y, offsetVert_, gy);
    item->button_->SetBounds(left, top, btnWidth_, btnHeight_);
    bool inside = ClientRect().Contains(item->Left(), item->Top());
    item->SetVisible(inside);
    if (inside)
        item->button_->BringToFront();
    else
        item->button_->SendToBack();
    return inside;
}

void TSpeedBar::AlignItemsToGrid() {
    ForEachItem([&](TSpeedItem* item) {
        if (item->Visible()) AcceptDropItem(item, item->Left(), item->Top());
    });
}

void TSpeedBar::ChangeScale(int m, int d) {
    if (m <= 0 || d <= 0 || m == d) return;
    // While loading only what the text set is scaled: the rest is still the default of this screen.
    const bool loading = Loading();
    auto scaled = [&](int v, unsigned streamed) {
        return loading && !(streamed_ & streamed) ? v : MulDiv(v, m, d);
    };
    if (!(ControlStyle() & csFixedWidth))
        btnWidth_ = std::clamp(scaled(btnWidth_, kStreamedBtnWidth), 1, kMaxButtonExtent);
    if (!(ControlStyle() & csFixedHeight))
        btnHeight_ = std::clamp(scaled(btnHeight_, kStreamedBtnHeight), 1, kMaxButtonExtent);
    const int minimum = MinButtonsOffset();
    const int maximum = std::max(minimum, kMaxButtonExtent);
    offsetHorz_ = std::clamp(scaled(offsetHorz_, kStreamedOffsetHorz), minimum, maximum);
    offsetVert_ = std::clamp(scaled(offsetVert_, kStreamedOffsetVert), minimum, maximum);
    // The bar's own bounds and its buttons' places; then the grid, the sizes and the snapping.
    TCustomPanel::ChangeScale(m, d);
    ApplyButtonSize();
    AlignItemsToGrid();
}

void TSpeedBar::SetEditing(HWND window) {
    bool was = Editing();
    editWin_ = window;
    ForEachItem([&](TSpeedItem* item) { item->SetEditing(window != 0); });
    if (was && !Editing()) AfterCustomize();
}

void TSpeedBar::Customize(int helpContext) {
    ShowSpeedbarSetupWindow(this, helpContext);
}

namespace {
TWinControl* FindWindowIn(TWinControl* control, HWND handle) {
    if (control->Handle() == handle) return control;
    for (int i = 0; i < control->ControlCount(); ++i)
        if (auto* w = dynamic_cast<TWinControl*>(control->Controls(i)))
            if (TWinControl* found = FindWindowIn(w, handle)) return found;
    return nullptr;
}
} // namespace

void TSpeedBar::NotifyEditWin(int code, intptr_t param) {
    // Sent, not posted: the window must hear of a bar that goes away before it is gone.
    if (!editWin_) return;
    for (int i = 0; i < Screen->FormCount(); ++i)
        if (TWinControl* window = FindWindowIn(Screen->Forms(i), editWin_)) {
            window->Perform(CM_SPEEDBARCHANGED, static_cast<WPARAM>(code), param);
            return;
        }
}

void TSpeedBar::PosChanged() {
    if (OnPosChanged) OnPosChanged(this);
}

void TSpeedBar::AfterCustomize() {
    if (OnCustomize) OnCustomize(this);
}

void TSpeedBar::VisibleChanged() {
    TCustomPanel::VisibleChanged();
    if (!Loading()) ForEachItem([](TSpeedItem* item) { item->SetVisible(item->visible_); });
    if (OnVisibleChanged) OnVisibleChanged(this);
}

void TSpeedBar::EnabledChanged() {
    TCustomPanel::EnabledChanged();
    if (!Loading()) ForEachItem([](TSpeedItem* item) { item->UpdateButtonEnabled(); });
}

void TSpeedBar::SetWallpaper(const gfx::Bitmap& picture) {
    wallpaper_.GetBitmap().Assign(picture);
    wallpaper_.Changed();
}

void TSpeedBar::Paint() {
    TCustomPanel::Paint();
    TRect r = InnerRect();
    gfx::Canvas& c = Canvas();
    if (gfx::TGraphic* g = wallpaper_.Graphic(); g && !g->Empty()) {
        gfx::CanvasStateSaver saver(c);
        c.IntersectClipRect(r);
        if (options_ & sbStretchBitmap) {
            g->Draw(c, r);
        } else {
            const int w = g->Width();
            const int h = g->Height();
            for (int row = 0; row <= r.Height() / h; ++row)
                for (int col = 0; col <= r.Width() / w; ++col)
                    g->Draw(c, {r.Left + col * w, r.Top + row * h, r.Left + (col + 1) * w,
                                r.Top + (row + 1) * h});
        }
    }
    auto line = [&](gfx::TColor color, int x0, int y0, int x1, int y1) {
        c.Pen.Color = color;
        c.Pen.Width = 1;
        c.MoveTo(x0, y0);
        c.LineTo(x1, y1);
    };
    int L = r.Left, T = r.Top, R = r.Right, B = r.Bottom;
    if (boundLines_ & blTop) {
        line(gfx::clBtnShadow, L, T, R, T);
        line(gfx::clBtnHighlight, L, T + 1, R, T + 1);
    }
    if (boundLines_ & blLeft) {
        line(gfx::clBtnShadow, L, T, L, B);
        line(gfx::clBtnHighlight, L + 1, (boundLines_ & blTop) ? T + 1 : T, L + 1, B);
    }
    if (boundLines_ & blBottom) {
        line(gfx::clBtnShadow, L, B - 2, R, B - 2);
        line(gfx::clBtnHighlight, L, B - 1, R, B - 1);
    }
    if (boundLines_ & blRight) {
        line(gfx::clBtnShadow, R - 2, T, R - 2, (boundLines_ & blBottom) ? B - 1 : B);
        line(gfx::clBtnHighlight, R - 1, T, R - 1, B);
    }
}

TRect TSpeedBar::DockFrame(TAlign edge) const {
    TWinControl* parent = Parent();
    if (!parent) return BoundsRect();
    TRect r = parent->ClientRect();
    static const TAlign order[] = {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight};
    auto rank = [](TAlign a) { return std::find(order, order + 4, a) - order; };
    // The parent aligns the controls of one edge in their z-order, the first nearest the edge: the bar
    // lands behind the siblings of that edge that come before it.
    bool beforeBar = true;
    for (int i = 0; i < parent->ControlCount(); ++i) {
        TControl* c = parent->Controls(i);
        if (c == this) {
            beforeBar = false;
            continue;
        }
        if (!c->Visible() || !IsEdge(c->Align())) continue;
        if (rank(c->Align()) > rank(edge) || (c->Align() == edge && !beforeBar)) continue;
        switch (c->Align()) {
        case TAlign::alTop:
            r.Top = std::max(r.Top, c->Top() + c->Height());
            break;
        case TAlign::alBottom:
            r.Bottom = std::min(r.Bottom, c->Top());
            break;
        case TAlign::alLeft:
            r.Left = std::max(r.Left, c->Left() + c->Width());
            break;
        default:
            r.Right = std::min(r.Right, c->Left());
            break;
        }
    }
    int thickness = Horizontal(Align()) ? Height() : Width();
    switch (edge) {
    case TAlign::alTop:
        r.Bottom = r.Top + thickness;
        break;
    case TAlign::alBottom:
        r.Top = r.Bottom - thickness;
        break;
    case TAlign::alLeft:
        r.Right = r.Left + thickness;
        break;
    default:
        r.Left = r.Right - thickness;
        break;
    }
    return r;
}

bool TSpeedBar::InResizeZone(int x, int y) const {
    int w = ClientWidth(), h = ClientHeight();
    switch (Align()) {
    case TAlign::alTop:
        return y > h - 4 && y <= h + 4 && x > 0 && x <= w;
    case TAlign::alBottom:
        return y > -4 && y <= 4 && x > 0 && x <= w;
    case TAlign::alLeft:
        return x > w - 4 && x <= w + 4 && y > 0 && y <= h;
    case TAlign::alRight:
        return x > -4 && x <= 4 && y > 0 && y <= h;
    default:
        return false;
    }
}

int TSpeedBar::ResizeThickness(TPoint p) const {
    // p: the pointer in the parent's client coordinates.
    bool horizontal = Horizontal(Align());
    int size = std::max(horizontal ? btnHeight_ : btnWidth_, 1);
    int offset = horizontal ? offsetVert_ : offsetHorz_;
    int distance = 0;
    switch (Align()) {
    case TAlign::alTop:
        distance = p.Y - Top();
        break;
    case TAlign::alBottom:
        distance = Top() + Height() - p.Y;
        break;
    case TAlign::alLeft:
        distance = p.X - Left();
        break;
    default:
        distance = Left() + Width() - p.X;
        break;
    }
    int n = std::max(1, std::abs(distance - 2 * offset) / size);
    int thickness = n * size + 2 * offset;
    if (Parent())
        thickness = std::min(thickness, horizontal ? Parent()->ClientHeight() : Parent()->ClientWidth());
    return thickness;
}

void TSpeedBar::ApplyAlign(TAlign align) {
    bool apply = true;
    if (OnApplyAlign) OnApplyAlign(this, align, apply);
    targetAlign_ = apply ? align : targetAlign_;
}

void TSpeedBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    TCustomPanel::MouseDown(button, shift, x, y);
    if (button != TMouseButton::mbLeft || !IsEdge(Align())) return;
    if (Editing() && (options_ & sbAllowResize) && InResizeZone(x, y)) {
        drag_ = Drag::Resizing;
        return;
    }
    if (!(options_ & sbAllowDrag)) return;
    drag_ = Drag::Pressed;
    press_ = {x, y};
    startAlign_ = targetAlign_ = Align();
}

void TSpeedBar::MouseMove(TShiftState shift, int x, int y) {
    TCustomPanel::MouseMove(shift, x, y);
    TPoint inParent{Left() + x, Top() + y};
    switch (drag_) {
    case Drag::None:
        if (Editing() && (options_ & sbAllowResize))
            SetCursor(InResizeZone(x, y) ? (Horizontal(Align()) ? crSizeNS : crSizeWE) : crDefault);
        return;
    case Drag::Resizing: {
        if (!Parent() || !Parent()->ClientRect().Contains(inParent.X, inParent.Y)) return;
        int t = ResizeThickness(inParent);
        if (Horizontal(Align()))
            SetHeight(t);
        else
            SetWidth(t);
        return;
    }
    case Drag::Pressed:
        if (std::abs(x - press_.X) < 5 && std::abs(y - press_.Y) < 5) return;
        drag_ = Drag::Moving;
        savedCursor_ = Screen->Cursor;
        Screen->Cursor = components::crDragHand;
        frame_ = DockFrame(Align());
        {
            TPoint o = ClientToScreen(Parent(), {0, 0});
            components::DrawInvertFrame(frame_.Offset(o.X, o.Y), 3);
        }
        [[fallthrough]];
    case Drag::Moving: {
        if (!Parent()) return;
        TAlign edge =
            SpeedBarTargetEdge(Parent()->ClientWidth(), Parent()->ClientHeight(), inParent, targetAlign_);
        ApplyAlign(edge);
        TRect next = DockFrame(targetAlign_);
        if (!(next == frame_)) {
            TPoint o = ClientToScreen(Parent(), {0, 0});
            components::DrawInvertFrame(frame_.Offset(o.X, o.Y), 3);
            frame_ = next;
            components::DrawInvertFrame(frame_.Offset(o.X, o.Y), 3);
        }
        return;
    }
    }
}

void TSpeedBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    Drag was = drag_;
    drag_ = Drag::None;
    if (was == Drag::Moving) {
        TPoint o = ClientToScreen(Parent(), {0, 0});
        components::DrawInvertFrame(frame_.Offset(o.X, o.Y), 3);
        Screen->Cursor = savedCursor_;
        if (targetAlign_ != Align()) SetAlign(targetAlign_);
        PosChanged();
    }
    TCustomPanel::MouseUp(button, shift, x, y);
}

// ---- layout storage ----

void TSpeedBar::SaveLayoutTo(TIniFile* ini, const std::string& section) {
    if (!ini) return;
    ini->EraseSection(section);
    ini->WriteInteger(section, "Position", static_cast<int>(Align()));
    if (Horizontal(Align()))
        ini->WriteInteger(section, "Width", Height());
    else if (IsEdge(Align()))
        ini->WriteInteger(section, "Width", Width());
    ini->WriteInteger(section, "Version", Version);
    ini->WriteInteger(section, "PixelsPerInch", Screen->PixelsPerInch);
    ini->WriteInteger(section, "BtnWidth", btnWidth_);
    ini->WriteInteger(section, "BtnHeight", btnHeight_);
    int n = 0;
    ForEachItem([&](TSpeedItem* item) {
        if (!item->Visible() || !item->Stored()) return;
        ++n;
        ini->WriteString(section, Format("Button%d", n),
                         Format("%s,%d,%d", item->Name().c_str(), item->Left(), item->Top()));
    });
    ini->WriteInteger(section, "Count", n);
}

void TSpeedBar::RestoreLayoutFrom(TIniFile* ini, const std::string& section) {
    if (!ini) return;
    if (ini->ReadInteger(section, "Version", Version) < Version) return;
    TAlign before = Align();
    if (options_ & sbAllowDrag) {
        int position = ini->ReadInteger(section, "Position", static_cast<int>(Align()));
        if (position >= 0 && position <= 5) { // anything else was never written by a bar
            try {
                SetAlign(static_cast<TAlign>(position));
            } catch (const ESpeedbarError&) {
            }
        }
    }
    TForm* form = ParentForm();
    int ppi = ini->ReadInteger(section, "PixelsPerInch", form ? form->PixelsPerInch : 0);
    if (ppi == Screen->PixelsPerInch) {
        if (options_ & sbAllowResize) {
            bool horizontal = Horizontal(Align());
            int current = horizontal ? Height() : Width();
            int minimum = horizontal ? 2 * offsetVert_ + btnHeight_ : 2 * offsetHorz_ + btnWidth_;
            int maximum =
                Parent() ? (horizontal ? Parent()->ClientHeight() : Parent()->ClientWidth()) : INT32_MAX;
            int width =
                std::clamp(ini->ReadInteger(section, "Width", current), minimum, std::max(minimum, maximum));
            if (horizontal)
                SetHeight(width);
            else if (IsEdge(Align()))
                SetWidth(width);
        }
        int count = ini->ReadInteger(section, "Count", 0);
        if (count > 0) {
            // A damaged count cannot make more lookups than the section has keys.
            TStringList keys;
            ini->ReadSection(section, keys);
            count = std::min(count, keys.Count());
            ForEachItem([](TSpeedItem* item) { item->SetVisible(false); });
            for (int n = 1; n <= count; ++n) {
                std::string value = ini->ReadString(section, Format("Button%d", n), "");
                if (value.empty()) continue;
                TSpeedItem* item = SearchItem(components::ExtractWord(1, value, ","));
                if (!item) continue;
                int left =
                    std::max(StrToIntDef(components::ExtractWord(2, value, ","), item->Left()), offsetHorz_);
                int top =
                    std::max(StrToIntDef(components::ExtractWord(3, value, ","), item->Top()), offsetVert_);
                item->button_->SetBounds(left, top, btnWidth_, btnHeight_);
                item->SetVisible(true);
            }
            Invalidate();
        }
    }
    if (Align() != before) PosChanged();
}

// ---- streaming ----

void TSpeedBar::GetChildren(const std::function<void(TComponent*)>& proc) {
    for (TSpeedbarSection* section : sections_)
        proc(section);
    ForEachItem([&](TSpeedItem* item) {
        if (item->Owner() != this) proc(item);
    });
}

void TSpeedBar::DefineProperties(TFiler& filer) {
    filer.DefineProperty(
        "InternalVer", [this](const TStreamValue& v) { internalVer_ = v.AsInteger() > 0; },
        [] { return TStreamValue::Int(1); }, true);
    filer.DefineProperty(
        "Sections",
        [this](const TStreamValue& v) {
            for (const std::string& title : v.AsList())
                if (SearchSection(title) < 0) AddSection(title);
        },
        nullptr, false);
    filer.DefineProperty(
        "NewStyle", [this](const TStreamValue& v) { newStyle_ = v.AsBoolean(); }, nullptr, false);
    filer.DefineProperty(
        "AllowDrag",
        [this](const TStreamValue& v) {
            options_ = v.AsBoolean() ? (options_ | sbAllowDrag) : (options_ & ~sbAllowDrag);
        },
        nullptr, false);
}

void TSpeedBar::Loaded() {
    TCustomPanel::Loaded();
    streamed_ = 0;
    if (!internalVer_ && alignNoneRead_ && Align() == TAlign::alNone) SetAlign(TAlign::alTop);
    UpdateGrid();
    ForEachItem([&](TSpeedItem* item) {
        item->button_->SetBounds(item->Left(), item->Top(), btnWidth_, btnHeight_);
        item->SetVisible(item->visible_);
    });
}

void TSpeedBar::RegisterStreamingClasses() {
    static bool registered = false;
    if (registered) return;
    registered = true;
    using B = TSpeedBar;
    const std::vector<std::string> aligns{"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"};
    TClassInfo bar{"TSpeedBar", "", [](TComponent* owner) { return new TSpeedBar(owner); }, {}};
    bar.properties = {
        IntProperty<B>(
            "Left", [](B& b) { return b.Left(); }, [](B& b, int64_t v) { b.SetLeft(static_cast<int>(v)); }),
        IntProperty<B>(
            "Top", [](B& b) { return b.Top(); }, [](B& b, int64_t v) { b.SetTop(static_cast<int>(v)); }),
        IntProperty<B>(
            "Width", [](B& b) { return b.Width(); },
            [](B& b, int64_t v) { b.SetWidth(static_cast<int>(v)); }),
        IntProperty<B>(
            "Height", [](B& b) { return b.Height(); },
            [](B& b, int64_t v) { b.SetHeight(static_cast<int>(v)); }),
        SetProperty<B>(
            "BoundLines", {"blTop", "blBottom", "blLeft", "blRight"}, [](B& b) { return b.BoundLines(); },
            [](B& b, uint32_t v) { b.SetBoundLines(static_cast<TBoundLines>(v)); }, 0),
        EnumProperty<B>(
            "Position", {"bpAuto", "bpCustom"}, [](B& b) { return static_cast<int>(b.Position()); },
            [](B& b, int v) { b.position_ = static_cast<TBarPosition>(v); }, 0),
        EnumProperty<B>(
            "Orientation", {"boHorizontal", "boVertical"},
            [](B& b) { return static_cast<int>(b.Orientation()); },
            [](B& b, int v) { b.orientation_ = static_cast<TBarOrientation>(v); }, 0),
        EnumProperty<B>(
            "Align", aligns, [](B& b) { return static_cast<int>(b.Align()); },
            [](B& b, int v) { b.SetAlign(static_cast<TAlign>(v)); }, 1),
        SetProperty<B>(
            "Options",
            {"sbAllowDrag", "sbAllowResize", "sbFlatBtns", "sbGrayedBtns", "sbTransparentBtns",
             "sbStretchBitmap"},
            [](B& b) { return b.Options(); },
            [](B& b, uint32_t v) { b.SetOptions(static_cast<TSpeedbarOptions>(v)); },
            sbAllowDrag | sbGrayedBtns),
        IntProperty<B>(
            "BtnOffsetHorz", [](B& b) { return b.BtnOffsetHorz(); },
            [](B& b, int64_t v) { b.SetBtnOffsetHorz(Narrow(v)); }, {},
            [](B& b) { return b.BtnOffsetHorz() != b.MinButtonsOffset(); }),
        IntProperty<B>(
            "BtnOffsetVert", [](B& b) { return b.BtnOffsetVert(); },
            [](B& b, int64_t v) { b.SetBtnOffsetVert(Narrow(v)); }, {},
            [](B& b) { return b.BtnOffsetVert() != b.MinButtonsOffset(); }),
        IntProperty<B>(
            "BtnWidth", [](B& b) { return b.BtnWidth(); },
            [](B& b, int64_t v) { b.SetBtnWidth(Narrow(v)); }, 24),
        IntProperty<B>(
            "BtnHeight", [](B& b) { return b.BtnHeight(); },
            [](B& b, int64_t v) { b.SetBtnHeight(Narrow(v)); }, 23),
        IntProperty<B>(
            "Version", [](B& b) { return b.Version; },
            [](B& b, int64_t v) { b.Version = static_cast<int>(v); }, 0),
        BoolProperty<B>(
            "Visible", [](B& b) { return b.Visible(); }, [](B& b, bool v) { b.SetVisible(v); }, true),
    };
    RegisterClass(typeid(TSpeedBar), bar);

    using S = TSpeedbarSection;
    TClassInfo section{
        "TSpeedbarSection", "", [](TComponent* owner) { return new TSpeedbarSection(owner); }, {}};
    section.properties = {
        StringProperty<S>(
            "Caption", [](S& s) { return s.Caption(); }, [](S& s, const std::string& v) { s.SetCaption(v); }),
    };
    RegisterClass(typeid(TSpeedbarSection), section);

    using I = TSpeedItem;
    using L = components::TButtonLayout;
    TClassInfo item{"TSpeedItem", "", [](TComponent* owner) { return new TSpeedItem(owner); }, {}};
    // The action by its name; written only for a named action.
    TPropInfo action;
    action.name = "Action";
    action.get = [](TComponent& c) { return TStreamValue::Ident(static_cast<I&>(c).Action()->Name()); };
    action.set = [](TComponent& c, const TStreamValue& v) {
        static_cast<I&>(c).readActionName_ = v.AsIdent();
    };
    action.stored = [](TComponent& c) {
        TBasicAction* a = static_cast<I&>(c).Action();
        return a && !a->Name().empty();
    };
    item.properties = {
        action,
        StringProperty<I>(
            "BtnCaption", [](I& i) { return i.BtnCaption(); },
            [](I& i, const std::string& v) { i.SetBtnCaption(v); }, ""),
        StringProperty<I>(
            "Caption", [](I& i) { return i.Caption(); }, [](I& i, const std::string& v) { i.SetCaption(v); },
            ""),
        StringProperty<I>(
            "Hint", [](I& i) { return i.Hint(); }, [](I& i, const std::string& v) { i.SetHint(v); }, ""),
        BoolProperty<I>(
            "Enabled", [](I& i) { return i.Enabled(); }, [](I& i, bool v) { i.SetEnabled(v); }, true),
        IntProperty<I>(
            "ImageIndex", [](I& i) { return i.ImageIndex(); },
            [](I& i, int64_t v) { i.SetImageIndex(static_cast<int>(v)); }, -1),
        EnumProperty<I>(
            "Layout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"},
            [](I& i) { return static_cast<int>(i.Button()->Layout()); },
            [](I& i, int v) { i.Button()->SetLayout(static_cast<L>(v)); }, 2),
        IntProperty<I>(
            "Margin", [](I& i) { return i.Button()->Margin(); },
            [](I& i, int64_t v) { i.Button()->SetMargin(static_cast<int>(v)); }, -1),
        IntProperty<I>(
            "NumGlyphs", [](I& i) { return i.Button()->NumGlyphs(); },
            [](I& i, int64_t v) { i.Button()->SetNumGlyphs(static_cast<int>(v)); }, 1),
        IntProperty<I>(
            "Spacing", [](I& i) { return i.Button()->Spacing(); },
            [](I& i, int64_t v) { i.Button()->SetSpacing(static_cast<int>(v)); }, 4),
        BoolProperty<I>(
            "Stored", [](I& i) { return i.Stored(); }, [](I& i, bool v) { i.SetStored(v); }, true),
        IntProperty<I>(
            "Tag", [](I& i) { return static_cast<int64_t>(i.Tag()); },
            [](I& i, int64_t v) { i.SetTag(static_cast<intptr_t>(v)); }, 0),
        IntProperty<I>(
            "Left", [](I& i) { return i.Left(); }, [](I& i, int64_t v) { i.SetLeft(Narrow(v)); },
            0),
        IntProperty<I>(
            "Top", [](I& i) { return i.Top(); }, [](I& i, int64_t v) { i.SetTop(Narrow(v)); }, 0),
        BoolProperty<I>(
            "Visible", [](I& i) { return i.Visible(); }, [](I& i, bool v) { i.SetVisible(v); }, false),
        BoolProperty<I>(
            "WordWrap", [](I& i) { return i.Button()->WordWrap(); },
            [](I& i, bool v) { i.Button()->SetWordWrap(v); }, false),
        BoolProperty<I>(
            "AllowAllUp", [](I& i) { return i.Button()->AllowAllUp(); },
            [](I& i, bool v) { i.Button()->SetAllowAllUp(v); }, false),
        BoolProperty<I>(
            "AllowTimer", [](I& i) { return i.Button()->AllowTimer(); },
            [](I& i, bool v) { i.Button()->SetAllowTimer(v); }, false),
        IntProperty<I>(
            "GroupIndex", [](I& i) { return i.Button()->GroupIndex(); },
            [](I& i, int64_t v) { i.Button()->SetGroupIndex(static_cast<int>(v)); }, 0),
        BoolProperty<I>(
            "Down", [](I& i) { return i.Button()->Down(); }, [](I& i, bool v) { i.Button()->SetDown(v); },
            false),
        BoolProperty<I>(
            "MarkDropDown", [](I& i) { return i.Button()->MarkDropDown(); },
            [](I& i, bool v) { i.Button()->SetMarkDropDown(v); }, true),
        IntProperty<I>(
            "Cursor", [](I& i) { return i.Button()->Cursor(); },
            [](I& i, int64_t v) { i.Button()->SetCursor(static_cast<int>(v)); }, 0),
        BoolProperty<I>(
            "ParentFont", [](I& i) { return i.Button()->ParentFont(); },
            [](I& i, bool v) { i.Button()->SetParentFont(v); }, true),
        // ShowHint ends ParentShowHint, so it is read first and written only without it.
        [] {
            TPropInfo p = BoolProperty<I>(
                "ShowHint", [](I& i) { return i.Button()->ShowHint(); },
                [](I& i, bool v) { i.Button()->SetShowHint(v); });
            p.stored = [](TComponent& c) { return !static_cast<I&>(c).Button()->ParentShowHint(); };
            return p;
        }(),
        BoolProperty<I>(
            "ParentShowHint", [](I& i) { return i.Button()->ParentShowHint(); },
            [](I& i, bool v) { i.Button()->SetParentShowHint(v); }, true),
    };
    RegisterClass(typeid(TSpeedItem), item);
    // Buttons belong to their items and are never written; the name is known to the registry.
    RegisterClass(typeid(TSpeedbarButton), TClassInfo{"TSpeedbarButton", "", nullptr, {}});
}

} // namespace extra
