// The token through the captcha object, as a page uses it: SetPassword,
// Text put, EncryptedText get and put, EncryptionAge, with the clock pinned.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "component/cglimmark.h"
#include "glimmark_test_seams.h"
#include "testing/glimmark_client.h"

// AddressSanitizer's allocation hooks, present only in sanitized builds.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*mallocHook)(const volatile void*,
                                                                            size_t),
                                                         void (*freeHook)(const volatile void*))
    __attribute__((weak));

namespace {

constexpr int64_t kPinnedSecond = 1700000000;  // November 2023

// Owns one automation string.
class Bstr {
 public:
  explicit Bstr(const std::u16string& text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  Bstr() = default;
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }
  BSTR* out() { return &value_; }
  std::u16string str() const { return std::u16string(value_, SysStringLen(value_)); }

 private:
  BSTR value_ = nullptr;
};

class TokenObjectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GlimmarkTest_PinClock(kPinnedSecond, 250);
    ASSERT_EQ(CreateGlimmark(&object_), S_OK);
  }
  void TearDown() override {
    if (object_ != nullptr) object_->Release();
    GlimmarkTest_UnpinClock();
  }

  void Pin(int64_t second) { GlimmarkTest_PinClock(second, 999); }

  void SetPassword(const std::u16string& password) {
    Bstr value(password);
    ASSERT_EQ(object_->SetPassword(value.get()), S_OK);
  }
  void PutText(const std::u16string& text) {
    Bstr value(text);
    ASSERT_EQ(object_->put_Text(value.get()), S_OK);
  }
  std::u16string Text() {
    Bstr value;
    EXPECT_EQ(object_->get_Text(value.out()), S_OK);
    return value.str();
  }
  std::u16string Token() {
    Bstr value;
    EXPECT_EQ(object_->get_EncryptedText(value.out()), S_OK);
    return value.str();
  }
  void PutToken(const std::u16string& token) {
    Bstr value(token);
    ASSERT_EQ(object_->put_EncryptedText(value.get()), S_OK);
  }
  LONG Age() {
    LONG age = 12345;
    EXPECT_EQ(object_->get_EncryptionAge(&age), S_OK);
    return age;
  }
  std::u16string TokenFor(const std::u16string& password, const std::u16string& text) {
    SetPassword(password);
    PutText(text);
    return Token();
  }

  IGlimmark* object_ = nullptr;
};

TEST_F(TokenObjectTest, DefaultTextRoundTripWithAgeZeroThenNinety) {
  SetPassword(u"s3cret");
  const std::u16string token = Token();
  EXPECT_EQ(token.size(), 96u);
  EXPECT_EQ(token.find_first_not_of(u"0123456789"), std::u16string::npos);
  EXPECT_EQ(Text(), u"Captcha Test") << "getting a token leaves the text";
  PutText(u"something else");
  PutToken(token);
  EXPECT_EQ(Text(), u"Captcha Test");
  EXPECT_EQ(Age(), 0);
  Pin(kPinnedSecond + 90);
  EXPECT_EQ(Age(), 0) << "the age is fixed by the put";
  PutToken(token);
  EXPECT_EQ(Age(), 90);
}

TEST_F(TokenObjectTest, TextLengthsAroundTheCut) {
  const struct {
    std::u16string text;
    size_t digits;
    std::u16string restored;
  } cases[] = {
      {u"", 24, u""},
      {u"ABCDEFGHIJKLM", 96, u"ABCDEFGHIJKLM"},
      {u"ABCDEFGHIJKLMN", 99, u"ABCDEFGHIJKLMN"},
      {u"ABCDEFGHIJKLMNOPQRST", 99, u"ABCDEFGHIJKLMN"},
      {u"ABCDEFGHIJKLM\u00E9", 99, u"ABCDEFGHIJKLM\u00E9"},  // below U+0100: exact
      {u"ABCDEFGHIJKLM\u0141", 99, u"ABCDEFGHIJKLMA"},       // high byte lost
      {u"abcde", 48, u"abcde"},
  };
  for (const auto& c : cases) {
    const std::u16string token = TokenFor(u"pw", c.text);
    EXPECT_EQ(token.size(), c.digits) << c.text.size() << " characters";
    PutToken(token);
    EXPECT_EQ(Text(), c.restored);
  }
}

TEST_F(TokenObjectTest, SameSecondSameTokenOtherSecondOnlyFirstBlockDiffers) {
  SetPassword(u"pw");
  const std::u16string first = Token();
  EXPECT_EQ(Token(), first);
  GlimmarkTest_PinClock(kPinnedSecond, 0);
  EXPECT_EQ(Token(), first) << "milliseconds play no part";
  Pin(kPinnedSecond + 1);
  const std::u16string later = Token();
  EXPECT_NE(later.substr(0, 24), first.substr(0, 24));
  EXPECT_EQ(later.substr(24), first.substr(24));
}

// Only four units count, and DES drops the lowest bit of every key byte, so
// "B" and "C" (0x42, 0x43) make the same key.
TEST_F(TokenObjectTest, PasswordsAlikeInTheirKeyBytesGiveTheSameToken) {
  const std::u16string token = TokenFor(u"abcd", u"Captcha Test");
  EXPECT_EQ(TokenFor(u"abcdXYZ", u"Captcha Test"), token);
  EXPECT_EQ(TokenFor(u"abce", u"Captcha Test"), token);
  EXPECT_NE(TokenFor(u"abcf", u"Captcha Test"), token);
  EXPECT_EQ(TokenFor(u"B", u"x"), TokenFor(u"C", u"x"));
}

TEST_F(TokenObjectTest, BeforeAnySetPasswordTheEmptyPasswordApplies) {
  EXPECT_EQ(Age(), 0);
  const std::u16string unkeyed = Token();
  SetPassword(u"");
  EXPECT_EQ(Token(), unkeyed);
  ASSERT_EQ(object_->SetPassword(nullptr), S_OK);
  EXPECT_EQ(Token(), unkeyed) << "a null password counts as empty";
}

// Under the empty password's weak key enciphering equals deciphering.
TEST_F(TokenObjectTest, EmptyPasswordTokenDeciphersUnderItself) {
  SetPassword(u"");
  const std::u16string token = Token();
  PutToken(token);
  EXPECT_EQ(Text(), u"Captcha Test");
}

TEST_F(TokenObjectTest, SetPasswordLeavesTheTextAlone) {
  PutText(u"kept");
  SetPassword(u"whatever");
  EXPECT_EQ(Text(), u"kept");
}

TEST_F(TokenObjectTest, ExtraUnitsAndPartialGroups) {
  const std::u16string token = TokenFor(u"pw", u"Z");
  ASSERT_EQ(token.size(), 24u);
  PutToken(token + u"7");
  EXPECT_EQ(Text(), u"Z");
  PutToken(token + u"77");
  EXPECT_EQ(Text(), u"Z");
  PutToken(token + u"777");  // 9 groups: still one block
  EXPECT_EQ(Text(), u"Z");
  EXPECT_EQ(Age(), 0);
}

TEST_F(TokenObjectTest, MoreThan600DigitsReadOnlyTheFirst200Groups) {
  const std::u16string token = TokenFor(u"pw", u"Hello");
  std::u16string longValue = token;
  while (longValue.size() < 600) longValue += u"000";
  PutToken(longValue);
  const std::u16string first600 = Text();
  PutToken(longValue + std::u16string(300, u'9'));
  EXPECT_EQ(Text(), first600);
  EXPECT_EQ(Text().substr(0, 5), u"Hello");
}

TEST_F(TokenObjectTest, TokenFromTheFutureHasNegativeAge) {
  Pin(kPinnedSecond + 45);
  const std::u16string token = TokenFor(u"pw", u"later");
  Pin(kPinnedSecond);
  PutToken(token);
  EXPECT_EQ(Text(), u"later");
  EXPECT_EQ(Age(), -45);
}

TEST_F(TokenObjectTest, ShortOrNullValuesGiveEmptyTextAndTheClockAsAge) {
  SetPassword(u"pw");
  for (const std::u16string& value : {std::u16string(), std::u16string(u"123"),
                                      std::u16string(23, u'1'), std::u16string(u"not a token")}) {
    PutText(u"before");
    PutToken(value);
    EXPECT_EQ(Text(), u"");
    EXPECT_EQ(Age(), static_cast<LONG>(kPinnedSecond));
  }
  PutText(u"before");
  ASSERT_EQ(object_->put_EncryptedText(nullptr), S_OK);
  EXPECT_EQ(Text(), u"");
  EXPECT_EQ(Age(), static_cast<LONG>(kPinnedSecond));
}

TEST_F(TokenObjectTest, WrongPasswordStillAnswersWithSomeText) {
  const std::u16string token = TokenFor(u"right", u"Captcha Test");
  SetPassword(u"wrong");
  PutToken(token);
  EXPECT_NE(Text(), u"Captcha Test");
  EXPECT_EQ(Implementation(object_)->Settings()->text[kTextCapacity - 1], 0);
}

TEST_F(TokenObjectTest, NullOutPointersAreRefused) {
  EXPECT_EQ(object_->get_EncryptedText(nullptr), E_POINTER);
  EXPECT_EQ(object_->get_EncryptionAge(nullptr), E_POINTER);
}

// Allocation counting through AddressSanitizer's hooks (sanitized builds only).
int allocationCount = 0;
bool countingAllocations = false;
void CountAllocation(const volatile void*, size_t) {
  if (countingAllocations) ++allocationCount;
}
void IgnoreFree(const volatile void*) {}

TEST_F(TokenObjectTest, GetAllocatesOnlyTheStringAndPutNothing) {
  if (__sanitizer_install_malloc_and_free_hooks == nullptr) {
    GTEST_SKIP() << "allocation hooks need the sanitized build";
  }
  static const bool installed =
      __sanitizer_install_malloc_and_free_hooks(CountAllocation, IgnoreFree) != 0;
  ASSERT_TRUE(installed);
  SetPassword(u"pw");
  BSTR token = nullptr;
  allocationCount = 0;
  countingAllocations = true;
  object_->get_EncryptedText(&token);
  countingAllocations = false;
  EXPECT_EQ(allocationCount, 1);
  allocationCount = 0;
  countingAllocations = true;
  object_->put_EncryptedText(token);
  countingAllocations = false;
  EXPECT_EQ(allocationCount, 0);
  SysFreeString(token);
}

}  // namespace
