// Font families from the system's fonts, the generic sans-serif family, and
// fonts made from them.
#include "gdiplus/text/fonts.h"

#include <mutex>
#include <new>
#include <string>

#include "gdiplus/objects/matrix.h"
#include "gdiplus/objects/startup_state.h"
#include "gdiplus/text/utf16.h"

namespace Gdiplus::Internal {
namespace {

// Longest family name looked up; longer names cannot be installed families.
constexpr size_t kMaxFamilyNameLength = 255;
// Largest em size in pixels a font may have: glyphs beyond it would need
// rasters of tens of megabytes each.
constexpr double kMaxEmPixels = 4096.0;
// Pixels per inch of a bitmap's world, as GDI+ assumes for images made in memory.
constexpr double kPixelsPerInch = 96.0;

// Em size in pixels for a size given in `unit`, or 0 for a unit fonts do not take.
double EmSizeInPixels(REAL emSize, Unit unit) {
  switch (unit) {
    case UnitWorld:
    case UnitPixel:
      return emSize;
    case UnitPoint:
      return emSize * kPixelsPerInch / 72.0;
    case UnitInch:
      return emSize * kPixelsPerInch;
    case UnitDocument:
      return emSize * kPixelsPerInch / 300.0;
    case UnitMillimeter:
      return emSize * kPixelsPerInch / 25.4;
    default:
      return 0;
  }
}

// The one permanent handle of the generic sans-serif family, made on first
// use and kept for the life of the process.
FontFamilyObject* GenericSansSerifHandle(GpStatus& status) {
  static std::mutex mutex;
  static FontFamilyObject* handle = nullptr;
  std::lock_guard<std::mutex> guard(mutex);
  status = Ok;
  if (handle != nullptr) return handle;
  FontFamilyEntry* entry = ResolveGenericSansSerif();
  if (entry == nullptr) {
    status = FontFamilyNotFound;
    return nullptr;
  }
  FontFamilyObject* object = new (std::nothrow) FontFamilyObject(entry, true);
  GpFontFamily* published = nullptr;
  status = Publish(object, &published);
  if (status == Ok) handle = object;
  return handle;
}

}  // namespace
}  // namespace Gdiplus::Internal

namespace Gdiplus::DllExports {
using namespace Gdiplus::Internal;
extern "C" {

// Only the system collection (a null `collection`) is offered. A name that is
// neither installed nor a Windows family with an installed metric-compatible
// twin gives FontFamilyNotFound: no other font is ever substituted.
GpStatus WINGDIPAPI GdipCreateFontFamilyFromName(GDIPCONST WCHAR* name,
                                                 GpFontCollection* collection,
                                                 GpFontFamily** family) {
  if (family == nullptr) return InvalidParameter;
  *family = nullptr;
  if (name == nullptr || collection != nullptr) return InvalidParameter;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  const size_t length = BoundedLength(name, kMaxFamilyNameLength + 1);
  std::string utf8Name;
  if (length == 0 || length > kMaxFamilyNameLength || !Utf16ToUtf8(name, length, utf8Name)) {
    return FontFamilyNotFound;
  }
  FontFamilyEntry* entry = ResolveFontFamily(utf8Name);
  if (entry == nullptr) return FontFamilyNotFound;
  return Publish(new (std::nothrow) FontFamilyObject(entry, false), family);
}

// Always the same handle; GdipDeleteFontFamily leaves it alive.
GpStatus WINGDIPAPI GdipGetGenericFontFamilySansSerif(GpFontFamily** family) {
  if (family == nullptr) return InvalidParameter;
  *family = nullptr;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  GpStatus status = Ok;
  *family = GenericSansSerifHandle(status);
  return status;
}

GpStatus WINGDIPAPI GdipDeleteFontFamily(GpFontFamily* family) {
  const FontFamilyObject* object = LookUp<FontFamilyObject>(family);
  if (object == nullptr) return InvalidParameter;
  if (object->permanent) return Ok;
  return Destroy<FontFamilyObject>(family);
}

// Regular style only: bold, italic, underline and strikeout answer
// NotImplemented. Em sizes must be positive and at most kMaxEmPixels pixels.
GpStatus WINGDIPAPI GdipCreateFont(GDIPCONST GpFontFamily* family, REAL emSize, INT style,
                                   Unit unit, GpFont** font) {
  if (font == nullptr) return InvalidParameter;
  *font = nullptr;
  const FontFamilyObject* source = LookUp<FontFamilyObject>(family);
  if (source == nullptr || !IsFinite(emSize) || emSize <= 0) return InvalidParameter;
  const double emPixels = EmSizeInPixels(emSize, unit);
  if (emPixels <= 0 || emPixels > kMaxEmPixels) return InvalidParameter;
  if (style != FontStyleRegular) return NotImplemented;
  if (!GdiplusIsStarted()) return GdiplusNotInitialized;
  std::shared_ptr<FontFace> face = source->entry->FaceAtSize(emPixels);
  if (face == nullptr) return OutOfMemory;
  return Publish(new (std::nothrow) FontObject(std::move(face), emSize, style, unit), font);
}

GpStatus WINGDIPAPI GdipDeleteFont(GpFont* font) { return Destroy<FontObject>(font); }

// The family's name as installed (for "Arial": "Liberation Sans"), at most
// LF_FACESIZE (32) units with the terminator, as GDI+ returns it.
GpStatus WINGDIPAPI GdipGetFamilyName(GDIPCONST GpFontFamily* family, WCHAR* name,
                                      LANGID language) {
  (void)language;
  const FontFamilyObject* object = LookUp<FontFamilyObject>(family);
  if (object == nullptr || name == nullptr) return InvalidParameter;
  constexpr size_t kFaceNameCapacity = 32;
  const std::string& installed = object->entry->installedName;
  size_t n = 0;
  constexpr WCHAR kReplacement = 0xFFFD;  // stands for bytes beyond ASCII
  for (; n + 1 < kFaceNameCapacity && n < installed.size(); ++n) {
    const unsigned char byte = static_cast<unsigned char>(installed[n]);
    name[n] = byte < 0x80 ? byte : kReplacement;
  }
  name[n] = 0;
  return Ok;
}

}  // extern "C"
}  // namespace Gdiplus::DllExports
