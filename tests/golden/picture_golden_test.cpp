// Golden pictures: the exact JPEG and GIF bytes of hundreds of challenges,
// each fixed by its seed and settings, compared by hash with a recorded list.
// Any change to rendering, resampling, colour handling or the encoders that
// moves a single byte shows here, naming the case that moved.
//
// To record the list again after a deliberate change of the pictures:
//   GLIMMARK_GOLDEN_RECORD=tests/data/golden-pictures.txt build/test/tests/test_golden
// and to look at the pictures themselves, GLIMMARK_GOLDEN_DUMP=<folder> writes
// each case's bytes there (<case>.jpg or .gif).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "component/cglimmark.h"
#include "testing/glimmark_client.h"
#include "text/random_source.h"

namespace {

constexpr uint32_t kSeedCount = 200;  // seeds 1..200, each drawn in both formats
constexpr LONG kGif = 1;
constexpr LONG kJpeg = 2;

// One look of a picture. A seed's case is chosen by the seed, so the seeds
// spread over every look.
struct Look {
  LONG width, height;
  LONG minLength, maxLength;  // random text lengths
  LONG curves, lineWidth;
  OLE_COLOR font, background;
  LONG quality;  // JPEG quality; 0 keeps the default
};

constexpr Look kLooks[] = {
    {200, 70, 12, 12, 2, 4, 0xFF000000, 0xFFFFFFFF, 85},  // the defaults
    {200, 70, 4, 8, 0, 4, 0xFF000000, 0xFFFFFFFF, 0},
    {120, 40, 1, 1, 1, 1, 0xFFFF0000, 0xFFFFFF00, 50},
    {333, 101, 6, 15, 5, 2, 0xFF0000FF, 0xFFE0E0E0, 100},
    {64, 24, 3, 5, 3, 7, 0xFF102030, 0xFFFFFFFF, 10},
    {400, 140, 12, 12, 2, 4, 0xFF000000, 0xFFFFFFFF, 85},
    {200, 70, 20, 30, 10, 3, 0xFF008000, 0xFF000000, 75},
    {150, 90, 8, 8, 2, 12, 0x80FF0000, 0xFFFFFFFF, 90},   // half-transparent ink
    {200, 70, 12, 12, 2, 4, 0xFF336699, 0xFF33669A, 85},  // ink a step from the ground
    {97, 31, 2, 9, 4, 0, 0xFFFFFFFF, 0xFF000000, 30},     // white on black, zero-width pen
    {256, 64, 5, 5, 1, 20, 0xFF7F7F7F, 0xFFC0C0C0, 1},
    {180, 180, 10, 14, 6, 5, 0xFF00FFFF, 0xFF400040, 95},
};
constexpr size_t kLookCount = sizeof(kLooks) / sizeof(kLooks[0]);

// 64-bit FNV-1a of the bytes: enough to tell any two pictures apart here.
uint64_t HashBytes(const uint8_t* data, size_t size) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3ull;
  return hash;
}

// Renders one picture of `look` from `seed` through SaveToVar and returns
// "size:hash" of its bytes, or a note of the failure.
std::string PictureDigest(IGlimmark* object, uint32_t seed, const Look& look, LONG format,
                          const std::string& dumpAs) {
  SeedRandomSource(seed);
  object->SetRandomText(look.minLength, look.maxLength);
  object->SetSize(look.width, look.height);
  object->SetLines(look.curves, look.lineWidth);
  object->SetColor(look.font, look.background);
  object->SetOutputFormat(format, look.quality);
  VARIANT result;
  VariantInit(&result);
  if (object->SaveToVar(&result) != S_OK || result.vt != (VT_ARRAY | VT_UI1)) {
    VariantClear(&result);
    return "failed";
  }
  void* data = nullptr;
  SafeArrayAccessData(result.parray, &data);
  const size_t size = result.parray->rgsabound[0].cElements;
  const uint64_t hash = HashBytes(static_cast<const uint8_t*>(data), size);
  if (!dumpAs.empty())
    std::ofstream(dumpAs, std::ios::binary)
        .write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  SafeArrayUnaccessData(result.parray);
  VariantClear(&result);
  char digest[48];
  std::snprintf(digest, sizeof digest, "%zu:%016llx", size, static_cast<unsigned long long>(hash));
  return digest;
}

std::string CaseName(uint32_t seed, LONG format) {
  return "seed" + std::to_string(seed) + (format == kGif ? "-gif" : "-jpeg");
}

// Every case's digest, by case name, rendered by one object in turn.
std::map<std::string, std::string> RenderAllCases() {
  std::map<std::string, std::string> digests;
  IGlimmark* object = nullptr;
  if (CreateGlimmark(&object) != S_OK) return digests;
  const char* dumpFolder = std::getenv("GLIMMARK_GOLDEN_DUMP");
  // The quality a look leaves at 0 is the last one set: reset it per case.
  for (uint32_t seed = 1; seed <= kSeedCount; ++seed) {
    const Look& look = kLooks[seed % kLookCount];
    for (LONG format : {kJpeg, kGif}) {
      object->SetOutputFormat(kJpeg, 85);
      const std::string name = CaseName(seed, format);
      const std::string dumpAs = dumpFolder == nullptr ? std::string()
                                                       : std::string(dumpFolder) + "/" + name +
                                                             (format == kGif ? ".gif" : ".jpg");
      digests[name] = PictureDigest(object, seed, look, format, dumpAs);
    }
  }
  object->Release();
  return digests;
}

// One list serves every build, the portable one (plain C++ loops instead of
// SSE2/SSSE3/AVX2) included: each plain loop does the vector loop's
// arithmetic in the same order.
std::string GoldenListPath() {
  return std::string(GLIMMARK_SOURCE_DIR) + "/tests/data/golden-pictures.txt";
}

std::map<std::string, std::string> ReadGoldenList(const std::string& path) {
  std::map<std::string, std::string> digests;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string name, digest;
    if (fields >> name >> digest) digests[name] = digest;
  }
  return digests;
}

void WriteGoldenList(const std::string& path, const std::map<std::string, std::string>& digests) {
  std::ofstream out(path);
  out << "# case  bytes:FNV-1a-64 of SaveToVar's bytes (tests/golden/picture_golden_test.cpp)\n";
  for (const auto& [name, digest] : digests) out << name << ' ' << digest << '\n';
}

TEST(PictureGoldenTest, EveryPictureKeepsItsRecordedBytes) {
  const std::map<std::string, std::string> rendered = RenderAllCases();
  ASSERT_EQ(rendered.size(), 2 * kSeedCount);
  if (const char* record = std::getenv("GLIMMARK_GOLDEN_RECORD")) {
    WriteGoldenList(record, rendered);
    GTEST_SKIP() << "recorded " << rendered.size() << " cases into " << record;
  }
  const std::map<std::string, std::string> golden = ReadGoldenList(GoldenListPath());
  ASSERT_EQ(golden.size(), rendered.size()) << "golden list missing or short: " << GoldenListPath();
  int moved = 0;
  for (const auto& [name, digest] : rendered) {
    const auto expected = golden.find(name);
    ASSERT_NE(expected, golden.end()) << name << " has no recorded digest";
    if (expected->second != digest && ++moved <= 20)
      ADD_FAILURE() << name << ": bytes " << digest << ", recorded " << expected->second;
  }
  EXPECT_EQ(moved, 0) << moved << " of " << rendered.size() << " pictures changed";
}

// The list itself must hold the pictures it claims to: no two cases of
// different looks share bytes, so a case that rendered nothing would show.
TEST(PictureGoldenTest, RecordedPicturesAreDistinct) {
  const std::map<std::string, std::string> golden = ReadGoldenList(GoldenListPath());
  std::map<std::string, std::string> firstWithDigest;
  for (const auto& [name, digest] : golden) {
    EXPECT_NE(digest, "failed") << name;
    const auto [it, fresh] = firstWithDigest.emplace(digest, name);
    EXPECT_TRUE(fresh) << name << " has the same bytes as " << it->second;
  }
}

}  // namespace
