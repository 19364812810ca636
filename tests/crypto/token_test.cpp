// The token format against a slow model built on the reference DES, the
// group reading against the C library's wcstol, and the restoring rules.
#include "crypto/token.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <random>
#include <string>

#include "crypto/des.h"
#include "des_oracles.h"
#include "state/challenge_settings.h"

namespace {

constexpr LONGLONG kSomeSecond = 1700000000;  // November 2023

struct Record {
  Record() { InitializeChallengeSettings(&settings); }
  ChallengeSettings settings;
};

std::u16string TextOf(const ChallengeSettings& settings) { return settings.text; }

void SetText(ChallengeSettings& settings, const std::u16string& text) {
  ASSERT_LT(text.size(), static_cast<size_t>(kTextCapacity));
  std::memset(settings.text, 0, sizeof(settings.text));
  std::memcpy(settings.text, text.data(), text.size() * sizeof(char16_t));
}

DesBlock KeyBlock(const std::u16string& password) {
  BYTE key[8];
  DeriveTokenKey(password.data(), static_cast<UINT>(password.size()), key);
  return BlockFromBytes(key);
}

// The token written out the long way: plaintext as laid out, every block
// through the reference DES, then "%03d" for each of the first 33 bytes.
std::u16string ModelToken(const std::u16string& password, const std::u16string& text,
                          LONGLONG now) {
  std::string plaintext;
  for (int i = 0; i < 5; ++i)
    plaintext += static_cast<char>(static_cast<ULONGLONG>(now) >> (8 * i));
  for (char16_t unit : text) {
    plaintext += static_cast<char>(unit & 0xFF);
    plaintext += static_cast<char>(unit >> 8);
  }
  while (plaintext.size() % 8 != 0) plaintext += '\0';
  std::u16string token;
  for (size_t offset = 0; offset < plaintext.size() && token.size() < 99; offset += 8) {
    const DesBlock block =
        BlockFromBytes(reinterpret_cast<const unsigned char*>(&plaintext[offset]));
    unsigned char cipher[8];
    BlockToBytes(ReferenceDes(KeyBlock(password), block, DesDirection::kEncipher), cipher);
    for (unsigned char byte : cipher) {
      if (token.size() >= 99) break;
      char group[4];
      std::snprintf(group, sizeof(group), "%03d", byte);
      token.append(group, group + 3);
    }
  }
  return token;
}

std::u16string MakeTokenOf(const std::u16string& password, const std::u16string& text,
                           LONGLONG now) {
  Record r;
  SetTokenPassword(password.data(), static_cast<UINT>(password.size()), r.settings.encryptKeys,
                   r.settings.decryptKeys);
  SetText(r.settings, text);
  const int digits = MakeToken(r.settings.text, r.settings.encryptKeys, now, r.settings.tokenText);
  EXPECT_EQ(TextOf(r.settings), text) << "making a token leaves the text alone";
  EXPECT_EQ(r.settings.tokenText[digits], 0);
  return std::u16string(r.settings.tokenText, digits);
}

struct Restored {
  std::u16string text;
  LONG age;
};

Restored RestoreOf(const std::u16string& password, const std::u16string& token, LONGLONG now) {
  Record r;
  SetTokenPassword(password.data(), static_cast<UINT>(password.size()), r.settings.encryptKeys,
                   r.settings.decryptKeys);
  r.settings.encryptionAge = RestoreToken(r.settings.decryptKeys, token.data(),
                                          static_cast<UINT>(token.size()), now, r.settings.text);
  return {TextOf(r.settings), r.settings.encryptionAge};
}

std::u16string RandomText(std::mt19937& random, int length) {
  std::u16string text;
  std::uniform_int_distribution<int> unit(1, 0xFFFF);
  for (int i = 0; i < length; ++i) text += static_cast<char16_t>(unit(random));
  return text;
}

TEST(TokenMaking, MatchesTheModelForRandomTextsTimesAndPasswords) {
  std::mt19937 random(11);
  std::uniform_int_distribution<LONGLONG> second(-(1LL << 40), 1LL << 40);
  for (int length = 0; length < kTextCapacity; ++length) {
    const std::u16string password = RandomText(random, length % 6);
    const std::u16string text = RandomText(random, length);
    const LONGLONG now = second(random);
    ASSERT_EQ(MakeTokenOf(password, text, now), ModelToken(password, text, now))
        << "length " << length << " second " << now;
  }
}

// Each thread keeps the key schedule it made last: passwords whose keys differ
// in the last key byte alone (past its parity bit), taken in turn, must each
// get their own.
TEST(TokenMaking, AlternatingPasswordsEachGetTheirOwnSchedule) {
  const std::u16string passwords[] = {u"abcd",    u"abc\u0264", u"abcd",
                                      u"abcdXYZ", u"",          u"abc\u0264"};
  for (const std::u16string& password : passwords) {
    EXPECT_EQ(MakeTokenOf(password, u"TEXT", 1234567), ModelToken(password, u"TEXT", 1234567));
  }
}

TEST(TokenMaking, DigitCountFollowsBlocksUpToTheCut) {
  const struct {
    int firstLength, lastLength, digits;
  } bands[] = {{0, 1, 24}, {2, 5, 48}, {6, 9, 72}, {10, 13, 96}, {14, 99, 99}};
  for (const auto& band : bands) {
    for (int n = band.firstLength; n <= band.lastLength; ++n) {
      EXPECT_EQ(MakeTokenOf(u"pw", std::u16string(n, u'x'), kSomeSecond).size(),
                static_cast<size_t>(band.digits))
          << n << " characters";
    }
  }
}

// What a component-made token gives back: the first 14 units, the 14th with
// its low byte only (the cut falls inside it), so every text of up to 13
// units, and ASCII texts of any length up to 14, come back whole.
TEST(TokenRestoring, ComponentTokensRestoreTheirTextForEveryLength) {
  std::mt19937 random(5);
  for (int length = 0; length < kTextCapacity; ++length) {
    const std::u16string text = RandomText(random, length);
    std::u16string expected = text.substr(0, 14);
    if (expected.size() == 14) expected[13] = static_cast<char16_t>(expected[13] & 0xFF);
    expected = expected.substr(0, expected.find(u'\0'));
    const LONGLONG made = kSomeSecond + length;
    const Restored back = RestoreOf(u"secret", MakeTokenOf(u"secret", text, made), made + 7);
    EXPECT_EQ(back.text, expected) << "length " << length;
    EXPECT_EQ(back.age, 7);
  }
}

// The conversion of a group compared with wcstol itself (C locale) over
// every three-unit string from an alphabet of digits, signs, blanks,
// letters, a zero unit and non-ASCII digits and spaces.
TEST(TokenRestoring, GroupValueReadsLikeWcstol) {
  const char16_t alphabet[] = {u'0', u'1', u'5', u'9',  u' ', u'\t',     u'\n',     u'\r',    u'+',
                               u'-', u'a', u'x', u'\0', u'.', u'\u0661', u'\u00A0', u'\uFF10'};
  for (char16_t a : alphabet) {
    for (char16_t b : alphabet) {
      for (char16_t c : alphabet) {
        const OLECHAR group[3] = {a, b, c};
        const wchar_t wide[4] = {a, b, c, 0};
        const BYTE expected = static_cast<BYTE>(std::wcstol(wide, nullptr, 10) & 0xFF);
        ASSERT_EQ(TokenGroupValue(group), expected)
            << std::hex << int(a) << " " << int(b) << " " << int(c);
      }
    }
  }
}

TEST(TokenRestoring, GroupValueExamples) {
  const struct {
    const char16_t* group;
    int value;
  } examples[] = {{u"000", 0},  {u"255", 255}, {u"256", 0},   {u"999", 231}, {u"-01", 255},
                  {u" 12", 12}, {u"1a2", 1},   {u"abc", 0},   {u"+07", 7},   {u"--1", 0},
                  {u"  -", 0},  {u"-99", 157}, {u"\t\t9", 9}, {u"12a", 12}};
  for (const auto& example : examples) {
    EXPECT_EQ(TokenGroupValue(example.group), example.value)
        << std::u16string(example.group, 3).size();
  }
}

// Another spelling of a byte's group under the conversion rule: a single
// digit followed by junk, a blank or plus before two digits, or a negative
// number; an empty result keeps the group as it is.
std::u16string Respell(int value, size_t groupIndex) {
  const auto digit = [](int d) { return static_cast<char16_t>(u'0' + d); };
  if (value < 10) return {digit(value), u'z', u'9'};
  if (value < 100) return {groupIndex % 2 ? u' ' : u'+', digit(value / 10), digit(value % 10)};
  if (value > 156) return {u'-', digit((256 - value) / 10), digit((256 - value) % 10)};
  return {};
}

// Letters, signs and spaces in a component token's groups follow the rule:
// respelling groups as equivalent non-digit strings restores the same text.
TEST(TokenRestoring, EquivalentGroupSpellingsRestoreAlike) {
  const std::u16string token = MakeTokenOf(u"pw", u"Captcha Test", kSomeSecond);
  std::u16string respelled = token;
  for (size_t g = 0; g < token.size() / 3; ++g) {
    const std::u16string spelling = Respell(TokenGroupValue(token.data() + 3 * g), g);
    if (!spelling.empty()) respelled.replace(3 * g, 3, spelling);
  }
  ASSERT_NE(respelled, token);
  const Restored back = RestoreOf(u"pw", respelled, kSomeSecond + 2);
  EXPECT_EQ(back.text, u"Captcha Test");
  EXPECT_EQ(back.age, 2);
}

TEST(TokenRestoring, AgeIsTheDifferenceOfLow32BitsAsSigned) {
  const struct {
    LONGLONG made, now;
    LONG age;
  } cases[] = {
      {kSomeSecond, kSomeSecond, 0},
      {kSomeSecond, kSomeSecond + 90, 90},
      {kSomeSecond + 30, kSomeSecond, -30},               // from the future
      {0xFFFFFFFBLL, 0x100000005LL, 10},                  // across the 32-bit wrap
      {0x100000000LL, 0x200000000LL, 0},                  // bits 32+ play no part
      {0, 0x7FFFFFFFLL, 0x7FFFFFFF},                      // largest exact age
      {0, 0x80000000LL, static_cast<LONG>(0x80000000u)},  // wraps to negative
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RestoreOf(u"k", MakeTokenOf(u"k", u"t", c.made), c.now).age, c.age)
        << c.made << " -> " << c.now;
  }
}

// Fewer than 24 units hold no whole block: nothing is deciphered, the text is
// empty and the stamp reads as zero, so the age is the current time itself.
TEST(TokenRestoring, ValuesWithoutAWholeBlockGiveEmptyTextAndTheClockAsAge) {
  const std::u16string token = MakeTokenOf(u"k", u"abc", kSomeSecond);
  for (size_t length : {size_t{0}, size_t{1}, size_t{3}, size_t{21}, size_t{23}}) {
    const Restored back = RestoreOf(u"k", token.substr(0, length), kSomeSecond);
    EXPECT_EQ(back.text, u"");
    EXPECT_EQ(back.age, static_cast<LONG>(kSomeSecond));
  }
  EXPECT_EQ(RestoreOf(u"k", u"", 0x180000001LL).age, static_cast<LONG>(0x80000001u));
  Record r;
  r.settings.encryptionAge = RestoreToken(r.settings.decryptKeys, nullptr, 99, kSomeSecond,
                                          r.settings.text);  // null counts as empty
  EXPECT_EQ(TextOf(r.settings), u"");
  EXPECT_EQ(r.settings.encryptionAge, static_cast<LONG>(kSomeSecond));
}

// One or two units past the last group, and groups short of a whole block,
// are ignored; "abcde" needs two blocks, of which the first holds the stamp,
// "a" and the low byte of "b".
TEST(TokenRestoring, TrailingUnitsAndPartialBlocksAreDropped) {
  const std::u16string token24 = MakeTokenOf(u"k", u"a", kSomeSecond);
  const std::u16string token48 = MakeTokenOf(u"k", u"abcde", kSomeSecond);
  EXPECT_EQ(RestoreOf(u"k", token24, kSomeSecond + 1).text, u"a");
  for (const std::u16string& value : {token24 + u"9", token24 + u"99", token24 + u"123"}) {
    const Restored back = RestoreOf(u"k", value, kSomeSecond + 1);
    EXPECT_EQ(back.text, u"a") << value.size() << " units";
    EXPECT_EQ(back.age, 1);
  }
  EXPECT_EQ(RestoreOf(u"k", token48, kSomeSecond).text, u"abcde");
  EXPECT_EQ(RestoreOf(u"k", token48.substr(0, 47), kSomeSecond).text, u"ab");
}

TEST(TokenRestoring, OnlyTheFirst200GroupsAreRead) {
  std::mt19937 random(17);
  std::u16string longValue;
  for (int g = 0; g < 260; ++g) {
    char group[4];
    std::snprintf(group, sizeof(group), "%03d", static_cast<int>(random() % 256));
    longValue.append(group, group + 3);
  }
  const Restored first600 = RestoreOf(u"k", longValue.substr(0, 600), kSomeSecond);
  const Restored all = RestoreOf(u"k", longValue, kSomeSecond);
  EXPECT_EQ(all.text, first600.text);
  EXPECT_EQ(all.age, first600.age);
  std::u16string changedTail = longValue;
  changedTail[600] = changedTail[600] == u'1' ? u'2' : u'1';
  EXPECT_EQ(RestoreOf(u"k", changedTail, kSomeSecond).text, all.text);
  std::u16string changedLastRead = longValue;
  changedLastRead[599] = changedLastRead[599] == u'1' ? u'2' : u'1';
  Record changed;
  Record original;
  changed.settings.encryptionAge =
      RestoreToken(changed.settings.decryptKeys, changedLastRead.data(), 600, kSomeSecond,
                   changed.settings.text);
  original.settings.encryptionAge = RestoreToken(original.settings.decryptKeys, longValue.data(),
                                                 600, kSomeSecond, original.settings.text);
  EXPECT_NE(
      std::memcmp(changed.settings.text, original.settings.text, sizeof(original.settings.text)), 0)
      << "group 200 is read";
}

// Deciphering noise can leave no zero unit among the 100: the last unit is
// forced to zero, so the text is at most 99 units and still a string.
TEST(TokenRestoring, NoiseFillingTheWholeTextStaysTerminated) {
  BYTE key[8];
  DeriveTokenKey(u"k", 1, key);
  DesRoundKeys encryptKeys, decryptKeys;
  DesSetKey(key, encryptKeys, decryptKeys);
  std::u16string token;
  for (int block = 0; block < 25; ++block) {
    BYTE plain[8];
    BYTE cipher[8];
    for (int i = 0; i < 8; ++i) plain[i] = static_cast<BYTE>(0x41 + (block + i) % 26);
    DesTransformBlock(encryptKeys, decryptKeys, plain, cipher, kDesEncipher);
    for (BYTE byte : cipher) {
      char group[4];
      std::snprintf(group, sizeof(group), "%03d", byte);
      token.append(group, group + 3);
    }
  }
  Record r;
  SetTokenPassword(u"k", 1, r.settings.encryptKeys, r.settings.decryptKeys);
  r.settings.encryptionAge =
      RestoreToken(r.settings.decryptKeys, token.data(), static_cast<UINT>(token.size()),
                   kSomeSecond, r.settings.text);
  EXPECT_EQ(r.settings.text[kTextCapacity - 1], 0);
  EXPECT_EQ(TextOf(r.settings).size(), static_cast<size_t>(kTextCapacity - 1));
}

TEST(TokenKey, FirstFourUnitsLowByteFirstZeroPadded) {
  const struct {
    std::u16string password;
    DesBlock key;
  } cases[] = {
      {u"", 0},
      {u"A", 0x4100000000000000ULL},
      {u"\u1234", 0x3412000000000000ULL},
      {u"abcd", 0x6100620063006400ULL},
      {u"abcdefgh", 0x6100620063006400ULL},                 // only four units count
      {std::u16string(u"a\0c", 3), 0x6100000063000000ULL},  // embedded zero units count
  };
  for (const auto& c : cases) EXPECT_EQ(HexFromBlock(KeyBlock(c.password)), HexFromBlock(c.key));
  BYTE key[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  DeriveTokenKey(nullptr, 4, key);
  EXPECT_EQ(BlockFromBytes(key), 0u) << "null counts as empty";
}

// A fresh record holds all-zero round keys: exactly the schedule of the
// empty password, so tokens made before any SetPassword are empty-password
// tokens. Its age starts at 0.
TEST(TokenKey, FreshRecordHasTheEmptyPasswordSchedule) {
  Record fresh;
  Record empty;
  std::memset(empty.settings.encryptKeys, 0xAB, sizeof(empty.settings.encryptKeys));
  SetTokenPassword(u"", 0, empty.settings.encryptKeys, empty.settings.decryptKeys);
  EXPECT_EQ(std::memcmp(fresh.settings.encryptKeys, empty.settings.encryptKeys,
                        sizeof(fresh.settings.encryptKeys)),
            0);
  EXPECT_EQ(std::memcmp(fresh.settings.decryptKeys, empty.settings.decryptKeys,
                        sizeof(fresh.settings.decryptKeys)),
            0);
  EXPECT_EQ(fresh.settings.encryptionAge, 0);
  for (DWORD word : fresh.settings.encryptKeys) EXPECT_EQ(word, 0u);
}

}  // namespace
