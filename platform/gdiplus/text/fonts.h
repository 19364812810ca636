// Font family and font handles over the process-wide font cache
// (font_cache.h). A family handle names a cached family; a font holds the
// cached face for its em size, so drawing with it never consults fontconfig.
#pragma once

#include <memory>

#include "gdiplus.h"
#include "gdiplus/objects/handle_registry.h"
#include "gdiplus/text/font_cache.h"

namespace Gdiplus::Internal {

struct FontFamilyObject final : GpFontFamily {
  static constexpr ObjectKind kKind = ObjectKind::FontFamily;
  FontFamilyObject(FontFamilyEntry* entry, bool permanent) : entry(entry), permanent(permanent) {}
  FontFamilyEntry* entry;
  bool permanent;  // the shared generic family: deleting it does nothing
};

struct FontObject final : GpFont {
  static constexpr ObjectKind kKind = ObjectKind::Font;
  FontObject(std::shared_ptr<FontFace> face, REAL emSize, INT style, Unit unit)
      : face(std::move(face)), emSize(emSize), style(style), unit(unit) {}
  std::shared_ptr<FontFace> face;
  REAL emSize;  // as given, in `unit`
  INT style;
  Unit unit;
};

}  // namespace Gdiplus::Internal
