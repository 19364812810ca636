// The process-wide font cache. Family names resolve through fontconfig once
// per process (found or not found, the answer is kept); each family keeps one
// FreeType face per em size, each face its glyph metrics. Entries live until
// the process ends, so handles may point at them freely. Thread-safe: the
// cache has one mutex for its maps, each face its own mutex for FreeType calls
// and for its glyph caches.
// fonts.cpp wraps these in GDI+ handles; text_layout.h and glyph_raster.h use
// the faces.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace Gdiplus::Internal {

// Size-independent outline metrics of one glyph at a face's em size, in
// pixels; y grows upwards from the baseline, as in FreeType.
struct GlyphMetrics {
  FT_UInt index = 0;
  double advance = 0;
  double xMin = 0, xMax = 0, yMin = 0, yMax = 0;
  bool hasInk = false;
};

// One FreeType face scaled to one em size. Lock `mutex` around every use.
class FontFace {
 public:
  FontFace(FT_Face face, double emPixels);
  ~FontFace();
  FontFace(const FontFace&) = delete;
  FontFace& operator=(const FontFace&) = delete;

  // Metrics of the glyph for `point`, loaded unhinted on first use and kept.
  // Requires `mutex` held. Returns false only when FreeType fails.
  bool Metrics(char32_t point, GlyphMetrics& out);

  // The unhinted outline of glyph `index` at the em size, untransformed,
  // loaded on first use and kept (drawing then only transforms a copy of its
  // points: no FreeType load per glyph). Requires `mutex` held; the outline
  // returned is never changed or moved while the face lives, so it may be
  // read after the mutex is let go. Null when FreeType fails, memory runs
  // out or the glyph is no outline; empty outlines (spaces) are returned as
  // such.
  const FT_Outline* Outline(FT_UInt index);

  std::mutex mutex;
  FT_Face face;
  double emPixels;
  double ascent;       // baseline below the top of the line, pixels
  double lineSpacing;  // ascent + descent + line gap, pixels

 private:
  // Loads glyph `index` unhinted and untransformed into the face's slot.
  bool LoadUntransformed(FT_UInt index);
  // Keeps a copy of the slot's outline for glyph `index` (nothing on failure).
  void KeepOutline(FT_UInt index);

  std::unordered_map<char32_t, GlyphMetrics> metrics_;
  std::unordered_map<FT_UInt, FT_Outline> outlines_;  // owned copies, freed with the face
};

// A resolved family: its name as installed and the file of its regular face.
class FontFamilyEntry {
 public:
  FontFamilyEntry(std::string installedName, std::string file, int faceIndex)
      : installedName(std::move(installedName)), file(std::move(file)), faceIndex(faceIndex) {}

  // The face at `emPixels`, opened on first use; null when FreeType cannot
  // open it or memory runs out.
  std::shared_ptr<FontFace> FaceAtSize(double emPixels);

  const std::string installedName;
  const std::string file;
  const int faceIndex;

 private:
  std::mutex mutex_;
  std::map<double, std::shared_ptr<FontFace>> faces_;
};

// The family installed under `utf8Name` or, for "Arial", "Times New Roman"
// and "Courier New", its metric-compatible Liberation family; null when
// neither is installed. Cold: one fontconfig match; warm: one map look-up.
FontFamilyEntry* ResolveFontFamily(const std::string& utf8Name);

// The process's sans-serif family: Liberation Sans when installed, else
// whatever fontconfig gives for "sans-serif"; null only without any font.
FontFamilyEntry* ResolveGenericSansSerif();

}  // namespace Gdiplus::Internal
