#pragma once
// A picture holds one graphic of whatever class its data calls for, and knows, class by class, which
// file extensions and clipboard formats each graphic class reads.
//
// Registration: a graphic class registers its file extensions (with a description) and its clipboard
// formats, usually when its unit starts; UnregisterGraphicClass takes every entry of a class back. The
// picture knows from the start: CF_BITMAP and ".bmp" -> TBitmapGraphic, ".ico" -> TIconGraphic. When several
// classes registered one format or extension, the latest registration is used.
//
// Loading (a file by its extension, or a clipboard item by its format) makes a new graphic of the
// registered class and reads the data into it, its progress reported through OnProgress; only when
// that succeeds does it replace the picture's graphic. Unregistered formats and extensions raise
// EInvalidGraphic; so does what the new graphic cannot read; the picture is then unchanged.
//
// Pasting takes, of the formats registered with the picture that the clipboard holds, the one
// registered last (so the registered format of a GIF or an icon wins over the plain bitmap put beside
// it). Copying empties the clipboard and puts the graphic's format on it (with its palette as
// CF_PALETTE).
#include <functional>
#include <memory>
#include <string>
#include <typeindex>

#include "platform/controls/Graphic.h"

namespace platform::gfx {

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

class TPicture {
public:
    TPicture() = default;
    ~TPicture();
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    TGraphic* Graphic() const { return graphic_.get(); }
    // Takes the graphic (null empties the picture); OnChange follows.
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    // The picture as a bitmap or an icon: another graphic (or none) is first replaced by an empty one.
    Bitmap& GetBitmap();
    TIcon& GetIcon();

    bool Empty() const { return !graphic_ || graphic_->Empty(); }
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }
    // Called by the graphic (or by code that drew into GetBitmap()); raises OnChange.
    void Changed();
    std::function<void(TPicture&)> OnChange;
    // The progress of the picture's graphic, and of a graphic being read into the picture (the sender
    // then is that new graphic, which becomes the picture's graphic only once it has been read).
    TProgressEvent OnProgress;

    void LoadFromFile(const std::string& fileName);
    // The graphic's own file format (a bitmap file, an icon, a GIF...), replacing the file whole;
    // nothing for an empty picture. EInOutError when the file cannot be written.
    void SaveToFile(const std::string& fileName);
    void LoadFromClipboardFormat(TClipboardFormat format, const TClipboardData& data, HPALETTE palette);
    // Nothing (format 0) for an empty picture.
    void SaveToClipboardFormat(TClipboardFormat& format, TClipboardData& data, HPALETTE& palette);
    // False when the clipboard cannot be opened or holds no registered format.
    bool PasteFromClipboard();
    // False for an empty picture, when the clipboard cannot be opened or the graphic gave no item.
    bool CopyToClipboard();

    template <class T>
    static void RegisterFileFormat(const std::string& extension, const std::string& description) {
        AddFileFormat(extension, description, typeid(T), [] { return std::make_unique<T>(); });
    }
    template <class T> static void RegisterClipboardFormat(TClipboardFormat format) {
        AddClipboardFormat(format, typeid(T), [] { return std::make_unique<T>(); });
    }
    static void UnregisterGraphicClass(std::type_index graphicClass);
    static bool SupportsClipboardFormat(TClipboardFormat format);
    // The format registered last for a class; 0 when it has none.
    static TClipboardFormat ClipboardFormatOf(std::type_index graphicClass);
    // The description registered for an extension (without the dot, any letter case); empty when none.
    static std::string FileFormatDescription(const std::string& extension);

private:
    static void AddFileFormat(const std::string& extension, const std::string& description,
                              std::type_index graphicClass, TGraphicFactory create);
    static void AddClipboardFormat(TClipboardFormat format, std::type_index graphicClass,
                                   TGraphicFactory create);
    // A new graphic for a format, replacing the picture's only once it has read the item.
    void TakeFromClipboard(TGraphicFactory create, TClipboardFormat format, const TClipboardData& data,
                           HPALETTE palette);
    template <class T> T& As();
    // Hands the graphic's progress on to OnProgress.
    void Listen(TGraphic& graphic);

    std::unique_ptr<TGraphic> graphic_;
};

} // namespace platform::gfx
