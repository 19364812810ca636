// The captcha object: construction (graphics start-up, seeding, defaults),
// the interface table, the settings operations and the text property.
#include <gtest/gtest.h>

#include <string>

#include "component/cglimmark.h"
#include "gdiplus/objects/startup_state.h"
#include "glimmark_test_seams.h"
#include "testing/glimmark_client.h"
#include "text/random_source.h"

namespace {

// One object with a reference held for the test's duration.
class GlimmarkObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateGlimmark(&object_), S_OK); }
  void TearDown() override {
    if (object_ != nullptr) object_->Release();
    GlimmarkTest_UnpinClock();
  }
  ChallengeSettings& Settings() { return *Implementation(object_)->Settings(); }
  std::u16string Text() {
    BSTR text = nullptr;
    EXPECT_EQ(object_->get_Text(&text), S_OK);
    std::u16string result = text != nullptr ? std::u16string(text, SysStringLen(text)) : u"";
    SysFreeString(text);
    return result;
  }
  void PutText(const std::u16string& text) {
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    EXPECT_EQ(object_->put_Text(value), S_OK);
    SysFreeString(value);
  }

  IGlimmark* object_ = nullptr;
};

TEST_F(GlimmarkObjectTest, NewObjectHasTheDefaults) {
  EXPECT_EQ(Text(), u"Captcha Test");
  const ChallengeSettings& s = Settings();
  EXPECT_EQ(std::u16string(s.fontName), u"Arial");
  EXPECT_EQ(s.fontColor, 0xFF000000u);
  EXPECT_EQ(s.backgroundColor, 0xFFFFFFFFu);
  EXPECT_EQ(s.backgroundRed, 255);
  EXPECT_EQ(s.backgroundGreen, 255);
  EXPECT_EQ(s.backgroundBlue, 255);
  EXPECT_EQ(s.font, nullptr);
  EXPECT_EQ(s.width, 200);
  EXPECT_EQ(s.height, 70);
  EXPECT_EQ(s.lineCount, 2);
  EXPECT_EQ(s.lineWidth, 4);
  EXPECT_EQ(s.outputFormat, 2);
  EXPECT_EQ(s.jpegQuality, 85);
  EXPECT_EQ(s.errorMessage[0], 0);
  LONG age = -1;
  EXPECT_EQ(object_->get_EncryptionAge(&age), S_OK);
  EXPECT_EQ(age, 0);  // no token put yet: a fixed zero
  for (DWORD word : s.encryptKeys) EXPECT_EQ(word, 0u);
}

TEST(GlimmarkConstruction, SeedsTheThreadFromThePinnedClock) {
  GlimmarkTest_PinClock(1796644800, 250);  // 12:00:00.250 UTC, 7 December 2026
  SeedRandomSource(777);
  IGlimmark* object = nullptr;
  ASSERT_EQ(CreateGlimmark(&object), S_OK);
  EXPECT_EQ(RandomSourceState(), 1200000u);

  // A second object in the same millisecond restarts the same sequence.
  DrawRandomValue();
  IGlimmark* twin = nullptr;
  ASSERT_EQ(CreateGlimmark(&twin), S_OK);
  EXPECT_EQ(RandomSourceState(), 1200000u);

  // Millisecond 0 seeds with 0, whatever the second.
  GlimmarkTest_PinClock(1796644801, 0);
  IGlimmark* third = nullptr;
  ASSERT_EQ(CreateGlimmark(&third), S_OK);
  EXPECT_EQ(RandomSourceState(), 0u);
  GlimmarkTest_UnpinClock();

  for (IGlimmark* o : {object, twin, third}) o->Release();
}

TEST(GlimmarkConstruction, EachObjectHoldsOneGraphicsStartUpUntilItEnds) {
  const int before = Gdiplus::GdiplusStartupCount();
  IGlimmark* first = nullptr;
  IGlimmark* second = nullptr;
  ASSERT_EQ(CreateGlimmark(&first), S_OK);
  ASSERT_EQ(CreateGlimmark(&second), S_OK);
  EXPECT_EQ(Gdiplus::GdiplusStartupCount(), before + 2);
  EXPECT_EQ(first->Release(), 0u);
  EXPECT_EQ(Gdiplus::GdiplusStartupCount(), before + 1);
  second->Release();
  EXPECT_EQ(Gdiplus::GdiplusStartupCount(), before);
}

TEST_F(GlimmarkObjectTest, InterfaceTableAnswersWithOnePointer) {
  void* asUnknown = nullptr;
  void* asGlimmark = nullptr;
  void* asDispatch = nullptr;
  ASSERT_EQ(object_->QueryInterface(IID_IUnknown, &asUnknown), S_OK);
  ASSERT_EQ(object_->QueryInterface(IID_IGlimmark, &asGlimmark), S_OK);
  ASSERT_EQ(object_->QueryInterface(IID_IDispatch, &asDispatch), S_OK);
  EXPECT_EQ(asUnknown, asGlimmark);
  EXPECT_EQ(asDispatch, asGlimmark);
  EXPECT_EQ(object_->Release(), 3u);  // three added plus the fixture's, one dropped
  object_->Release();
  object_->Release();

  void* other = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(object_->QueryInterface(IID_IStream, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(object_->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(GlimmarkObjectTest, NullOutPointersGiveEPointer) {
  EXPECT_EQ(object_->get_Text(nullptr), E_POINTER);
  EXPECT_EQ(object_->get_EncryptionAge(nullptr), E_POINTER);
}

// The two rules the setters keep beyond storing what they are given: a
// quality of 0 or below leaves the earlier one, and the background's colour
// bytes (which the renderer reads) follow every new background colour.
TEST_F(GlimmarkObjectTest, SettersKeepQualityUnlessPositiveAndBackgroundBytesInStep) {
  const struct {
    LONG format, quality;
    int expectedQuality;
  } formats[] = {{1, 0, 85}, {7, 50, 50}, {2, -5, 50}, {-3, 500, 500}, {1, -1, 500}};
  for (const auto& c : formats) {
    EXPECT_EQ(object_->SetOutputFormat(c.format, c.quality), S_OK);
    EXPECT_EQ(Settings().jpegQuality, c.expectedQuality) << c.format << ", " << c.quality;
  }
  const struct {
    OLE_COLOR background;
    BYTE red, green, blue;
  } colours[] = {{0xFF102030, 0x10, 0x20, 0x30},
                 {0x00FFFFFE, 0xFF, 0xFF, 0xFE},
                 {0x80000001, 0x00, 0x00, 0x01}};
  for (const auto& c : colours) {
    EXPECT_EQ(object_->SetColor(0xFF0000FF, c.background), S_OK);
    EXPECT_EQ(Settings().backgroundRed, c.red) << std::hex << c.background;
    EXPECT_EQ(Settings().backgroundGreen, c.green) << std::hex << c.background;
    EXPECT_EQ(Settings().backgroundBlue, c.blue) << std::hex << c.background;
  }
}

TEST_F(GlimmarkObjectTest, TextPutIsBoundedAt97Units) {
  const std::u16string ninetySeven(97, u'x');
  PutText(ninetySeven);
  EXPECT_EQ(Text(), ninetySeven);

  PutText(std::u16string(98, u'y'));
  EXPECT_EQ(Text(), std::u16string(97, u'y'));
  PutText(std::u16string(5000, u'z'));
  EXPECT_EQ(Text(), std::u16string(97, u'z'));
  EXPECT_EQ(Settings().text[97], 0);

  EXPECT_EQ(object_->put_Text(nullptr), S_OK);
  EXPECT_EQ(Text(), u"");

  PutText(u"\u00e9t\u00e9 \U0001F600");  // non-ASCII and a surrogate pair survive
  EXPECT_EQ(Text(), u"\u00e9t\u00e9 \U0001F600");
}

TEST_F(GlimmarkObjectTest, SetRandomTextReplacesTheTextFromTheThreadSource) {
  SeedRandomSource(1);
  EXPECT_EQ(object_->SetRandomText(5, 5), S_OK);
  EXPECT_EQ(Text(), u"fpj7e");
  EXPECT_EQ(object_->SetRandomText(INT32_MAX, INT32_MIN), S_OK);
  EXPECT_LE(Text().size(), 97u);
}

}  // namespace
