// GIF extensions - graphic control, plain text, comment and application blocks, with the
// label and application registries; and the extension list's reader.
#include <algorithm>
#include <cstring>
#include <utility>

#include "gif/GifItems.h"

namespace gif {

namespace {
std::vector<std::pair<uint8_t, const TGIFExtensionClass*>>& LabelRegistry() {
    static std::vector<std::pair<uint8_t, const TGIFExtensionClass*>> r = {
        {0x01, TGIFTextExtension::Class()},
        {0xF9, TGIFGraphicControlExtension::Class()},
        {0xFE, TGIFCommentExtension::Class()},
        {0xFF, TGIFApplicationExtension::Class()},
    };
    return r;
}

std::vector<std::pair<std::string, const TGIFExtensionClass*>>& AppRegistry() {
    static std::vector<std::pair<std::string, const TGIFExtensionClass*>> r = {
        {"NETSCAPE2.0", TGIFAppExtNSLoop::Class()},
        {"ANIMEXTS1.0", TGIFAppExtNSLoop::Class()},
    };
    return r;
}

void Skip(TStream& s, size_t n) {
    uint8_t buf[256];
    while (n > 0) {
        size_t k = std::min(n, sizeof(buf));
        if (s.Read(buf, k) < k) return;
        n -= k;
    }
}

TGIFExtensionClass MakeClass(const char* name, TGIFExtensionFactory f) {
    TGIFExtensionClass c;
    c.Name = name;
    c.Create = std::move(f);
    return c;
}
} // namespace

// ---- registries and look-up ----

void TGIFExtension::RegisterExtension(uint8_t label, const TGIFExtensionClass* cls) {
    LabelRegistry().push_back({label, cls});
}

void TGIFApplicationExtension::RegisterExtension(const std::string& record11, const TGIFExtensionClass* cls) {
    std::string key = record11;
    key.resize(11, '\0');
    AppRegistry().push_back({key, cls});
}

const TGIFExtensionClass* TGIFExtension::FindExtension(TStream& stream) {
    int64_t pos = stream.Position();
    int label = ReadByte(stream);
    if (label < 0) return nullptr;
    const TGIFExtensionClass* cls = nullptr;
    auto& reg = LabelRegistry();
    for (auto it = reg.rbegin(); it != reg.rend(); ++it)
        if (it->first == label) {
            cls = it->second;
            break;
        }
    int guard = 0;
    while (cls && cls->FindSub && guard++ < 16) {
        stream.SetPosition(pos + 1); // each refinement reads from just after the label
        const TGIFExtensionClass* next = cls->FindSub(stream);
        if (next == cls) break;
        cls = next;
    }
    stream.SetPosition(pos);
    return cls;
}

const TGIFExtensionClass* TGIFApplicationExtension::FindAppSubExtension(TStream& stream,
                                                                        const TGIFExtensionClass* self) {
    int64_t start = stream.Position();
    int size = ReadByte(stream);
    if (size < 0) return nullptr;
    uint8_t rec[11];
    if (size == 10) {
        if (stream.Read(rec, 10) == 10) return TGIFUnknownAppExtension::Class();
        return nullptr;
    }
    // A longer first block starts with the record too (the rest of it is passed over when read).
    if (size >= 11) {
        if (stream.Read(rec, 11) == 11) {
            std::string key(reinterpret_cast<const char*>(rec), 11);
            auto& reg = AppRegistry();
            for (auto it = reg.rbegin(); it != reg.rend(); ++it)
                if (it->first == key) return it->second;
            return TGIFUnknownAppExtension::Class();
        }
    }
    stream.SetPosition(start);
    return self;
}

// ---- extension base ----

TGIFExtension::TGIFExtension(TGIFSubImage* frame)
    : TGIFItem(frame ? frame->Image() : nullptr), frame_(frame) {}

void TGIFExtension::SaveHeader(TStream& stream) const {
    WriteByte(stream, 0x21);
    WriteByte(stream, GetExtensionType());
}

void TGIFExtension::LoadHeader(TStream& stream) const {
    uint8_t h[2];
    if (stream.Read(h, 2) != 2) throw GIFException("Premature end of data");
    if (h[0] != 0x21) throw GIFException("Invalid extension introducer");
    if (h[1] != GetExtensionType())
        throw GIFException("Internal error: Extension Instance does not match Extension Label");
}

// ---- extension list ----

TGIFExtension* TGIFExtensionList::Extension(int index) const {
    return static_cast<TGIFExtension*>(Item(index));
}

void TGIFExtensionList::SetExtension(int index, std::unique_ptr<TGIFExtension> extension) {
    SetItem(index, std::move(extension));
}

void TGIFExtensionList::SetItem(int index, std::unique_ptr<TGIFItem> item) {
    TGIFList::SetItem(index, std::move(item));
    if (!frame_ || frame_->GraphicControlExtension) return;
    for (auto& it : items_)
        if (auto* gce = dynamic_cast<TGIFGraphicControlExtension*>(it.get()); gce && gce->Frame() == frame_) {
            frame_->GraphicControlExtension = gce;
            frame_->Transparent = gce->Transparent();
            return;
        }
}

void TGIFExtensionList::LoadFromStream(TStream& stream, void* parent) {
    TGIFSubImage* frame = parent ? static_cast<TGIFSubImage*>(parent) : frame_;
    int b = ReadByte(stream);
    if (b < 0) return;
    while (b != ',' && b != ';') {
        // Zero bytes between blocks are padding, here as between frames: were they to end the list,
        // the frame would end without its image and be written again joined to the next one.
        if (b == 0) {
            b = ReadByte(stream);
            if (b < 0) return;
            continue;
        }
        if (b != '!') {
            Warning(gsWarning, "Invalid extension introducer");
            break;
        }
        const TGIFExtensionClass* cls = TGIFExtension::FindExtension(stream);
        if (!cls) throw GIFException("Unknown extension type");
        stream.SetPosition(stream.Position() - 1);
        std::unique_ptr<TGIFExtension> ext = cls->Create(frame);
        TGIFExtension* raw = ext.get();
        Add(std::move(ext));
        raw->LoadFromStream(stream);
        b = ReadByte(stream);
        if (b < 0) return;
    }
    stream.SetPosition(stream.Position() - 1);
}

// ---- graphic control ----

const TGIFExtensionClass* TGIFGraphicControlExtension::Class() {
    static const TGIFExtensionClass c = MakeClass("TGIFGraphicControlExtension", [](TGIFSubImage* f) {
        return std::unique_ptr<TGIFExtension>(new TGIFGraphicControlExtension(f));
    });
    return &c;
}

TGIFGraphicControlExtension::TGIFGraphicControlExtension(TGIFSubImage* frame) : TGIFExtension(frame) {
    if (frame_ && !frame_->GraphicControlExtension) frame_->GraphicControlExtension = this;
}

TGIFGraphicControlExtension::~TGIFGraphicControlExtension() {
    if (!frame_) return;
    if (Transparent()) frame_->Transparent = false;
    if (frame_->GraphicControlExtension == this) frame_->GraphicControlExtension = nullptr;
}

void TGIFGraphicControlExtension::SetTransparent(bool v) {
    Packed = static_cast<uint8_t>(v ? (Packed | 0x01) : (Packed & ~0x01));
    if (frame_) frame_->Transparent = v;
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
    if (frame_) {
        int n = frame_->ActiveColorMap().Count();
        if (n > 0 && (index < 0 || index >= n)) {
            Warning(gsWarning, "Invalid color index");
            index = 0;
        }
    }
    TransparentIndex = static_cast<uint8_t>(index);
}

TColor TGIFGraphicControlExtension::TransparentColor() const {
    return frame_ ? frame_->ActiveColorMap().GetColor(TransparentIndex) : platform::gfx::clBlack;
}

void TGIFGraphicControlExtension::SetTransparentColor(TColor color) {
    if (frame_) TransparentIndex = static_cast<uint8_t>(frame_->ActiveColorMap().AddUnique(color));
}

void TGIFGraphicControlExtension::SaveToStream(TStream& stream) {
    SaveHeader(stream);
    // Always the block's one sound shape, whatever a file read before held.
    uint8_t b[6] = {
        4, Packed, static_cast<uint8_t>(Delay), static_cast<uint8_t>(Delay >> 8), TransparentIndex, 0};
    stream.Write(b, 6);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream) {
    LoadHeader(stream);
    // The fields are the first four bytes of the first sub-block. The block ends at its zero-length
    // sub-block, as every reader takes it: a block that runs on past its four bytes must not end
    // early and leave the rest to be read as the next frame.
    std::vector<std::string> blocks;
    ReadStrings(stream, blocks);
    std::string b = blocks.empty() ? std::string() : blocks[0];
    if (b.size() < 4) Warning(gsWarning, "Premature end of data");
    BlockSize = static_cast<uint8_t>(b.size());
    b.resize(4, '\0');
    Packed = static_cast<uint8_t>(b[0]);
    Delay = static_cast<uint16_t>(static_cast<uint8_t>(b[1]) | static_cast<uint8_t>(b[2]) << 8);
    TransparentIndex = static_cast<uint8_t>(b[3]);
    Terminator = 0;
    if ((Packed & 1) && frame_) frame_->Transparent = true;
}

// ---- plain text ----

const TGIFExtensionClass* TGIFTextExtension::Class() {
    static const TGIFExtensionClass c = MakeClass("TGIFTextExtension", [](TGIFSubImage* f) {
        return std::unique_ptr<TGIFExtension>(new TGIFTextExtension(f));
    });
    return &c;
}

int TGIFTextExtension::GetBounds(int index) const {
    switch (index) {
    case 1:
        return Left;
    case 2:
        return Top;
    case 3:
        return Width;
    case 4:
        return Height;
    default:
        return 0;
    }
}

void TGIFTextExtension::SetBounds(int index, int value) {
    uint16_t v = static_cast<uint16_t>(value);
    switch (index) {
    case 1:
        Left = v;
        break;
    case 2:
        Top = v;
        break;
    case 3:
        Width = v;
        break;
    case 4:
        Height = v;
        break;
    default:
        break;
    }
}

TColor TGIFTextExtension::ForegroundColor() const {
    return frame_->ActiveColorMap().GetColor(ForegroundColorIndex);
}
void TGIFTextExtension::SetForegroundColor(TColor c) {
    ForegroundColorIndex = static_cast<uint8_t>(frame_->ActiveColorMap().AddUnique(c));
}
TColor TGIFTextExtension::BackgroundColor() const {
    return frame_->ActiveColorMap().GetColor(BackgroundColorIndex);
}
void TGIFTextExtension::SetBackgroundColor(TColor c) {
    BackgroundColorIndex = static_cast<uint8_t>(frame_->ActiveColorMap().AddUnique(c));
}

void TGIFTextExtension::SaveToStream(TStream& stream) {
    SaveHeader(stream);
    uint8_t b[13] = {BlockSize,
                     static_cast<uint8_t>(Left),
                     static_cast<uint8_t>(Left >> 8),
                     static_cast<uint8_t>(Top),
                     static_cast<uint8_t>(Top >> 8),
                     static_cast<uint8_t>(Width),
                     static_cast<uint8_t>(Width >> 8),
                     static_cast<uint8_t>(Height),
                     static_cast<uint8_t>(Height >> 8),
                     CharWidth,
                     CharHeight,
                     ForegroundColorIndex,
                     BackgroundColorIndex};
    stream.Write(b, 13);
    WriteStrings(stream, Text);
}

void TGIFTextExtension::LoadFromStream(TStream& stream) {
    LoadHeader(stream);
    uint8_t b[13];
    ReadCheck(stream, b, 13);
    BlockSize = b[0];
    Left = static_cast<uint16_t>(b[1] | b[2] << 8);
    Top = static_cast<uint16_t>(b[3] | b[4] << 8);
    Width = static_cast<uint16_t>(b[5] | b[6] << 8);
    Height = static_cast<uint16_t>(b[7] | b[8] << 8);
    CharWidth = b[9];
    CharHeight = b[10];
    ForegroundColorIndex = b[11];
    BackgroundColorIndex = b[12];
    ReadStrings(stream, Text);
}

// ---- comment ----

const TGIFExtensionClass* TGIFCommentExtension::Class() {
    static const TGIFExtensionClass c = MakeClass("TGIFCommentExtension", [](TGIFSubImage* f) {
        return std::unique_ptr<TGIFExtension>(new TGIFCommentExtension(f));
    });
    return &c;
}

void TGIFCommentExtension::SaveToStream(TStream& stream) {
    SaveHeader(stream);
    WriteStrings(stream, Text);
}

void TGIFCommentExtension::LoadFromStream(TStream& stream) {
    LoadHeader(stream);
    ReadStrings(stream, Text);
}

// ---- application ----

TGIFApplicationExtension::TGIFApplicationExtension(TGIFSubImage* frame) : TGIFExtension(frame) {}

const TGIFExtensionClass* TGIFApplicationExtension::Class() {
    // The plain application class is abstract: its blocks are read by the class FindSub refines to.
    static TGIFExtensionClass c = [] {
        TGIFExtensionClass k = MakeClass("TGIFApplicationExtension", [](TGIFSubImage* f) {
            return std::unique_ptr<TGIFExtension>(new TGIFUnknownAppExtension(f));
        });
        return k;
    }();
    static bool init = [] {
        c.FindSub = [](TStream& s) { return FindAppSubExtension(s, &c); };
        return true;
    }();
    (void)init;
    return &c;
}

void TGIFApplicationExtension::SetIdentifier(const std::string& v) {
    std::memset(Record, ' ', 8);
    std::memcpy(Record, v.data(), std::min<size_t>(8, v.size()));
}

void TGIFApplicationExtension::SetAuthentication(const std::string& v) {
    std::memset(Record + 8, ' ', 3);
    std::memcpy(Record + 8, v.data(), std::min<size_t>(3, v.size()));
}

void TGIFApplicationExtension::SaveToStream(TStream& stream) {
    SaveHeader(stream);
    WriteByte(stream, RecordSize);
    stream.Write(Record, RecordSize);
    SaveData(stream);
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream) {
    LoadHeader(stream);
    int size = ReadByte(stream);
    if (size < 0) throw GIFException("Premature end of data");
    if (size < 10) throw GIFException("Unsupported Application Extension block size");
    ReadCheck(stream, Record, 11);
    // A ten-byte record is written again as it came, so that it is never read back as another one.
    RecordSize = size == 10 ? 10 : 11;
    if (size == 10)
        stream.SetPosition(stream.Position() - 1);
    else if (size > 11)
        Skip(stream, static_cast<size_t>(size - 11));
    LoadData(stream);
}

const TGIFExtensionClass* TGIFUnknownAppExtension::Class() {
    static TGIFExtensionClass c = MakeClass("TGIFUnknownAppExtension", [](TGIFSubImage* f) {
        return std::unique_ptr<TGIFExtension>(new TGIFUnknownAppExtension(f));
    });
    static bool init = [] {
        c.FindSub = [](TStream& s) { return FindAppSubExtension(s, &c); };
        return true;
    }();
    (void)init;
    return &c;
}

void TGIFUnknownAppExtension::SaveData(TStream& stream) {
    for (const auto& b : Blocks) {
        WriteByte(stream, static_cast<uint8_t>(b.Size()));
        stream.Write(b.Data.data(), b.Data.size());
    }
    WriteByte(stream, 0);
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
    Blocks.clear();
    int n = ReadByte(stream);
    while (n > 0) {
        TGIFBlock b(n);
        ReadCheck(stream, b.Data.data(), b.Data.size());
        Blocks.push_back(std::move(b));
        n = ReadByte(stream);
    }
}

TGIFAppExtNSLoop::TGIFAppExtNSLoop(TGIFSubImage* frame) : TGIFApplicationExtension(frame) {
    SetIdentifier("NETSCAPE");
    SetAuthentication("2.0");
}

const TGIFExtensionClass* TGIFAppExtNSLoop::Class() {
    static TGIFExtensionClass c = MakeClass("TGIFAppExtNSLoop", [](TGIFSubImage* f) {
        return std::unique_ptr<TGIFExtension>(new TGIFAppExtNSLoop(f));
    });
    static bool init = [] {
        c.FindSub = [](TStream& s) { return FindAppSubExtension(s, &c); };
        return true;
    }();
    (void)init;
    return &c;
}

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
    uint8_t loop[4] = {3, 1, static_cast<uint8_t>(Loops), static_cast<uint8_t>(Loops >> 8)};
    stream.Write(loop, 4);
    if (BufferSize != 0) {
        uint8_t buf[6] = {5,
                          2,
                          static_cast<uint8_t>(BufferSize),
                          static_cast<uint8_t>(BufferSize >> 8),
                          static_cast<uint8_t>(BufferSize >> 16),
                          static_cast<uint8_t>(BufferSize >> 24)};
        stream.Write(buf, 6);
    }
    WriteByte(stream, 0);
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
    int n = ReadByte(stream);
    while (n > 0) {
        int id = ReadByte(stream);
        if (id < 0) return;
        id &= 7;
        int left = n - 1;
        if (id == 1) {
            if (left < 2) throw GIFException("Invalid GIF data");
            uint8_t b[2];
            ReadCheck(stream, b, 2);
            Loops = static_cast<uint16_t>(b[0] | b[1] << 8);
            left -= 2;
        } else if (id == 2) {
            if (left < 4) throw GIFException("Invalid GIF data");
            uint8_t b[4];
            ReadCheck(stream, b, 4);
            BufferSize = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
            left -= 4;
        }
        if (left > 0) Skip(stream, static_cast<size_t>(left));
        n = ReadByte(stream);
    }
}

} // namespace gif
