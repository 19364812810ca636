#include "render/font_selection.h"

#include "text/random_source.h"

namespace {

constexpr LONG kFamilyFactor = 2;
const OLECHAR* const kFamilyNames[] = {OLESTR("Arial"), OLESTR("Times New Roman"),
                                       OLESTR("Courier New")};

// The generic sans-serif family: made at first need and kept for the life of
// the process, shared by every object (a function-local static is made once
// even when threads race).
const GraphicsFontFamily* GenericSansSerifFamily() {
  static GraphicsFontFamily* const family =
      new (std::nothrow) GraphicsFontFamily(GraphicsFontFamily::GenericSansSerif{});
  return family;
}

bool HasHandle(const GraphicsFontFamily* family) {
  return family != nullptr && family->Handle() != nullptr;
}

}  // namespace

int FontFamilyIndex(int randomValue) { return ScaleRandomValue(randomValue, kFamilyFactor); }

const OLECHAR* FontFamilyName(int index) { return kFamilyNames[index]; }

void ChooseFontFamily(ChallengeSettings* settings) {
  CopyBoundedText(settings->fontName, FontFamilyName(FontFamilyIndex(DrawRandomValue())));
}

std::unique_ptr<RenderFont> CreateFontWithFallback(const WCHAR* familyName, Gdiplus::REAL emSize,
                                                   INT style, Gdiplus::Unit unit) {
  const auto named = MakeGraphics<GraphicsFontFamily>(familyName);
  const GraphicsFontFamily* family = named.get();
  if (!HasHandle(family)) {
    family = GenericSansSerifFamily();
    if (!HasHandle(family)) return nullptr;
  }
  auto font = MakeGraphics<RenderFont>(*family, emSize, style, unit);
  if (font != nullptr && font->Handle() == nullptr && HasHandle(GenericSansSerifFamily())) {
    font->Recreate(*GenericSansSerifFamily(), emSize, style, unit);
  }
  return font;
}

void KeepFont(ChallengeSettings* settings, std::unique_ptr<RenderFont> font) {
  ReleaseFont(settings);
  settings->font = font.release();
}

void ReleaseFont(ChallengeSettings* settings) {
  delete settings->font;
  settings->font = nullptr;
}
