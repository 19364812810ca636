// Resolving family names with fontconfig and opening FreeType faces, each
// once per process.
#include "gdiplus/text/font_cache.h"

#include <fontconfig/fontconfig.h>

#include FT_TRUETYPE_TABLES_H
#include FT_OUTLINE_H

#include <cctype>
#include <new>

namespace Gdiplus::Internal {
namespace {

// Families the Windows fonts are asked by, and the installed families whose
// metrics match theirs glyph for glyph.
struct MetricAlias {
  const char* requested;
  const char* installed;
};
constexpr MetricAlias kMetricAliases[] = {
    {"arial", "Liberation Sans"},
    {"times new roman", "Liberation Serif"},
    {"courier new", "Liberation Mono"},
};
constexpr const char* kPreferredSansSerif = "Liberation Sans";
constexpr const char* kGenericSansSerifPattern = "sans-serif";

// Distinct em sizes a family keeps faces for; beyond it the cache starts
// afresh (fonts in use keep their own face alive).
constexpr size_t kMaxCachedSizesPerFamily = 64;

constexpr double kFixed26Dot6 = 64.0;
constexpr double kFixed16Dot16 = 65536.0;

std::string AsciiLower(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

struct FamilyCache {
  std::mutex mutex;
  FT_Library library = nullptr;
  bool libraryFailed = false;
  // Lower-cased requested name -> entry, or null for "not installed".
  std::unordered_map<std::string, std::unique_ptr<FontFamilyEntry>> byName;
  bool genericResolved = false;
  std::unique_ptr<FontFamilyEntry> generic;
};

FamilyCache& Cache() {
  static FamilyCache* cache = new FamilyCache();  // lives to process exit
  return *cache;
}

// Requires the cache mutex.
FT_Library Library(FamilyCache& cache) {
  if (cache.library == nullptr && !cache.libraryFailed) {
    cache.libraryFailed = FT_Init_FreeType(&cache.library) != 0;
  }
  return cache.library;
}

bool FamilyNamed(FcPattern* match, const char* wanted) {
  FcChar8* family = nullptr;
  for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
    if (FcStrCmpIgnoreCase(family, reinterpret_cast<const FcChar8*>(wanted)) == 0) return true;
  }
  return false;
}

// fontconfig's best regular face for `pattern`, accepted only when its family
// is `accept` (null: any family). Null when nothing acceptable is installed.
std::unique_ptr<FontFamilyEntry> MatchFamily(const char* pattern, const char* accept) {
  FcPattern* query = FcPatternCreate();
  if (query == nullptr) return nullptr;
  FcPatternAddString(query, FC_FAMILY, reinterpret_cast<const FcChar8*>(pattern));
  FcPatternAddInteger(query, FC_SLANT, FC_SLANT_ROMAN);
  FcPatternAddInteger(query, FC_WEIGHT, FC_WEIGHT_REGULAR);
  FcPatternAddBool(query, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, query, FcMatchPattern);
  FcDefaultSubstitute(query);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, query, &result);
  FcPatternDestroy(query);
  if (match == nullptr) return nullptr;
  std::unique_ptr<FontFamilyEntry> entry;
  FcChar8* family = nullptr;
  FcChar8* file = nullptr;
  int index = 0;
  if ((accept == nullptr || FamilyNamed(match, accept)) &&
      FcPatternGetString(match, FC_FAMILY, 0, &family) == FcResultMatch &&
      FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    entry.reset(new (std::nothrow) FontFamilyEntry(reinterpret_cast<const char*>(family),
                                                   reinterpret_cast<const char*>(file), index));
  }
  FcPatternDestroy(match);
  return entry;
}

// The family by its own name, else by its metric-compatible alias.
std::unique_ptr<FontFamilyEntry> MatchRequestedFamily(const std::string& name,
                                                      const std::string& lowerName) {
  if (auto exact = MatchFamily(name.c_str(), name.c_str())) return exact;
  for (const MetricAlias& alias : kMetricAliases) {
    if (lowerName == alias.requested) return MatchFamily(alias.installed, alias.installed);
  }
  return nullptr;
}

}  // namespace

FontFace::FontFace(FT_Face face, double emPixels) : face(face), emPixels(emPixels) {
  const double unitsToPixels = emPixels / face->units_per_EM;
  ascent = face->ascender * unitsToPixels;
  lineSpacing = face->height * unitsToPixels;
}

FontFace::~FontFace() {
  for (auto& [index, outline] : outlines_) FT_Outline_Done(face->glyph->library, &outline);
  // FreeType wants face creation and disposal on one library serialised.
  std::lock_guard<std::mutex> guard(Cache().mutex);
  FT_Done_Face(face);
}

bool FontFace::LoadUntransformed(FT_UInt index) {
  FT_Set_Transform(face, nullptr, nullptr);
  return FT_Load_Glyph(face, index, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) == 0;
}

void FontFace::KeepOutline(FT_UInt index) {
  const FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE || outlines_.count(index) != 0) return;
  FT_Outline copy;
  if (FT_Outline_New(slot->library, slot->outline.n_points, slot->outline.n_contours, &copy) != 0) {
    return;
  }
  FT_Outline_Copy(&slot->outline, &copy);
  try {
    outlines_.emplace(index, copy);
  } catch (const std::bad_alloc&) {
    FT_Outline_Done(slot->library, &copy);
  }
}

const FT_Outline* FontFace::Outline(FT_UInt index) {
  if (auto found = outlines_.find(index); found != outlines_.end()) return &found->second;
  if (!LoadUntransformed(index)) return nullptr;
  KeepOutline(index);
  const auto found = outlines_.find(index);
  return found != outlines_.end() ? &found->second : nullptr;
}

bool FontFace::Metrics(char32_t point, GlyphMetrics& out) {
  if (auto found = metrics_.find(point); found != metrics_.end()) {
    out = found->second;
    return true;
  }
  GlyphMetrics glyph;
  glyph.index = FT_Get_Char_Index(face, point);
  if (!LoadUntransformed(glyph.index)) return false;
  KeepOutline(glyph.index);
  const FT_GlyphSlot slot = face->glyph;
  glyph.advance = slot->linearHoriAdvance / kFixed16Dot16;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE && slot->outline.n_points > 0) {
    FT_BBox box;
    FT_Outline_Get_CBox(&slot->outline, &box);
    glyph.hasInk = box.xMax > box.xMin && box.yMax > box.yMin;
    glyph.xMin = box.xMin / kFixed26Dot6;
    glyph.xMax = box.xMax / kFixed26Dot6;
    glyph.yMin = box.yMin / kFixed26Dot6;
    glyph.yMax = box.yMax / kFixed26Dot6;
  }
  try {
    metrics_.emplace(point, glyph);
  } catch (const std::bad_alloc&) {
    // Not cached; measured again next time.
  }
  out = glyph;
  return true;
}

std::shared_ptr<FontFace> FontFamilyEntry::FaceAtSize(double emPixels) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (auto found = faces_.find(emPixels); found != faces_.end()) return found->second;
  }
  FamilyCache& cache = Cache();
  FT_Face face = nullptr;
  {
    // FT_New_Face and FT_Done_Face change the library: one at a time.
    std::lock_guard<std::mutex> guard(cache.mutex);
    FT_Library library = Library(cache);
    if (library == nullptr || FT_New_Face(library, file.c_str(), faceIndex, &face) != 0) {
      return nullptr;
    }
  }
  if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(emPixels * kFixed26Dot6 + 0.5), 72, 72) !=
      0) {
    std::lock_guard<std::mutex> guard(cache.mutex);
    FT_Done_Face(face);
    return nullptr;
  }
  std::shared_ptr<FontFace> entry;
  try {
    entry = std::make_shared<FontFace>(face, emPixels);
  } catch (const std::bad_alloc&) {
    std::lock_guard<std::mutex> guard(cache.mutex);
    FT_Done_Face(face);
    return nullptr;
  }
  std::lock_guard<std::mutex> guard(mutex_);
  if (auto found = faces_.find(emPixels); found != faces_.end()) return found->second;
  try {
    if (faces_.size() >= kMaxCachedSizesPerFamily) faces_.clear();
    faces_.emplace(emPixels, entry);
  } catch (const std::bad_alloc&) {
    // The font still gets its face, only uncached.
  }
  return entry;
}

FontFamilyEntry* ResolveFontFamily(const std::string& utf8Name) {
  FamilyCache& cache = Cache();
  const std::string lowerName = AsciiLower(utf8Name);
  std::lock_guard<std::mutex> guard(cache.mutex);
  if (auto found = cache.byName.find(lowerName); found != cache.byName.end()) {
    return found->second.get();
  }
  std::unique_ptr<FontFamilyEntry> entry = MatchRequestedFamily(utf8Name, lowerName);
  FontFamilyEntry* result = entry.get();
  try {
    cache.byName.emplace(lowerName, std::move(entry));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return result;
}

FontFamilyEntry* ResolveGenericSansSerif() {
  FamilyCache& cache = Cache();
  std::lock_guard<std::mutex> guard(cache.mutex);
  if (!cache.genericResolved) {
    cache.generic = MatchFamily(kPreferredSansSerif, kPreferredSansSerif);
    if (cache.generic == nullptr) cache.generic = MatchFamily(kGenericSansSerifPattern, nullptr);
    cache.genericResolved = true;
  }
  return cache.generic.get();
}

}  // namespace Gdiplus::Internal
