// The captcha object: construction (graphics start-up, seeding, defaults),
// the interface table, the settings operations and the text property.
#include <gtest/gtest.h>

#include <string>

#include "component/cglimmark.h"
#include "dll/glimmark_client.h"
#include "gdiplus/objects/startup_state.h"
#include "glimmark_test_seams.h"
#include "text/random_source.h"

namespace {

// One object with a reference held for the test's duration.
class GlimmarkObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(CreateGlimmark(&object), S_OK); }
  void TearDown() override {
    if (object != nullptr) object->Release();
    GlimmarkTest_UnpinClock();
  }
  ChallengeSettings& Settings() { return *Implementation(object)->Settings(); }
  std::u16string Text() {
    BSTR text = nullptr;
    EXPECT_EQ(object->get_Text(&text), S_OK);
    std::u16string result = text != nullptr ? std::u16string(text, SysStringLen(text)) : u"";
    SysFreeString(text);
    return result;
  }
  void PutText(const std::u16string& text) {
    BSTR value = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    EXPECT_EQ(object->put_Text(value), S_OK);
    SysFreeString(value);
  }

  IGlimmark* object = nullptr;
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
  EXPECT_EQ(object->get_EncryptionAge(&age), S_OK);
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
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, &asUnknown), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IGlimmark, &asGlimmark), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, &asDispatch), S_OK);
  EXPECT_EQ(asUnknown, asGlimmark);
  EXPECT_EQ(asDispatch, asGlimmark);
  EXPECT_EQ(object->Release(), 3u);  // three added plus the fixture's, one dropped
  object->Release();
  object->Release();

  void* other = reinterpret_cast<void*>(0x1);
  EXPECT_EQ(object->QueryInterface(IID_IStream, &other), E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

TEST_F(GlimmarkObjectTest, NullOutPointersGiveEPointer) {
  EXPECT_EQ(object->get_Text(nullptr), E_POINTER);
  EXPECT_EQ(object->get_EncryptionAge(nullptr), E_POINTER);
}

TEST_F(GlimmarkObjectTest, SetOutputFormatKeepsQualityUnlessPositive) {
  EXPECT_EQ(object->SetOutputFormat(1, 0), S_OK);
  EXPECT_EQ(Settings().outputFormat, 1);
  EXPECT_EQ(Settings().jpegQuality, 85);
  EXPECT_EQ(object->SetOutputFormat(7, 50), S_OK);
  EXPECT_EQ(Settings().outputFormat, 7);
  EXPECT_EQ(Settings().jpegQuality, 50);
  EXPECT_EQ(object->SetOutputFormat(2, -5), S_OK);
  EXPECT_EQ(Settings().outputFormat, 2);
  EXPECT_EQ(Settings().jpegQuality, 50);
  EXPECT_EQ(object->SetOutputFormat(-3, 500), S_OK);  // stored as given
  EXPECT_EQ(Settings().outputFormat, -3);
  EXPECT_EQ(Settings().jpegQuality, 500);
}

TEST_F(GlimmarkObjectTest, SetColorKeepsBackgroundBytesInStep) {
  EXPECT_EQ(object->SetColor(0xFF0000FF, 0xFF102030), S_OK);
  EXPECT_EQ(Settings().fontColor, 0xFF0000FFu);
  EXPECT_EQ(Settings().backgroundColor, 0xFF102030u);
  EXPECT_EQ(Settings().backgroundRed, 0x10);
  EXPECT_EQ(Settings().backgroundGreen, 0x20);
  EXPECT_EQ(Settings().backgroundBlue, 0x30);
}

TEST_F(GlimmarkObjectTest, SizeAndLinesAreStoredAsGiven) {
  EXPECT_EQ(object->SetSize(-5, 0), S_OK);
  EXPECT_EQ(Settings().width, -5);
  EXPECT_EQ(Settings().height, 0);
  EXPECT_EQ(object->SetLines(0, -2), S_OK);
  EXPECT_EQ(Settings().lineCount, 0);
  EXPECT_EQ(Settings().lineWidth, -2);
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

  EXPECT_EQ(object->put_Text(nullptr), S_OK);
  EXPECT_EQ(Text(), u"");

  PutText(u"\u00e9t\u00e9 \U0001F600");  // non-ASCII and a surrogate pair survive
  EXPECT_EQ(Text(), u"\u00e9t\u00e9 \U0001F600");
}

TEST_F(GlimmarkObjectTest, SetRandomTextReplacesTheTextFromTheThreadSource) {
  SeedRandomSource(1);
  EXPECT_EQ(object->SetRandomText(5, 5), S_OK);
  EXPECT_EQ(Text(), u"fpj7e");
  EXPECT_EQ(object->SetRandomText(INT32_MAX, INT32_MIN), S_OK);
  EXPECT_LE(Text().size(), 97u);
}

}  // namespace
