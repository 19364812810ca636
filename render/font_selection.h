// Font selection: each rendering picks one of three families at random and
// makes a font of it whose em size is the image height, falling back to the
// process-wide generic sans-serif family when the family or the font cannot be
// had. The font is kept in the settings record until the next rendering.
#pragma once

#include "render/graphics_wrappers.h"
#include "state/challenge_settings.h"

// The record's kept font: a graphics font that only this file makes and frees.
struct RenderFont final : GraphicsFont {
  using GraphicsFont::GraphicsFont;
};

// Index of the family that a random value picks: the scaled draw with factor
// 2, so 0..8191 Arial, 8192..24575 Times New Roman, 24576..32767 Courier New.
int FontFamilyIndex(int randomValue);

// The family names in index order.
const OLECHAR* FontFamilyName(int index);

// Draws exactly one value from the random source and writes the chosen
// family's name into settings->fontName.
void ChooseFontFamily(ChallengeSettings* settings);

// Makes a font of `familyName`, or of the generic sans-serif family when that
// name is not installed or the font cannot be made from it. Returns null only
// when memory for the wrapper cannot be had; otherwise a font whose handle may
// be missing, its status saying why.
std::unique_ptr<RenderFont> CreateFontWithFallback(const WCHAR* familyName, Gdiplus::REAL emSize,
                                                   INT style, Gdiplus::Unit unit);

// Replaces the record's font by `font` (which may be null), releasing the old one.
void KeepFont(ChallengeSettings* settings, std::unique_ptr<RenderFont> font);

// Releases the record's font, if any. The record's owner calls it before the
// graphics library is shut down.
void ReleaseFont(ChallengeSettings* settings);
