// The page host's parts on their own: envelopes, form decoding, the host's
// text and the intrinsic objects over an exchange.
#include <gtest/gtest.h>
#include <sodium.h>

#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <string>

#include "text/random_text.h"
#include "tools/pagehost/challenge_text.h"
#include "tools/pagehost/form_decoding.h"
#include "tools/pagehost/http_intrinsics.h"
#include "tools/pagehost/password_file.h"
#include "tools/pagehost/sealed_envelope.h"

namespace {

const EnvelopeContents kContents = {"123045067089101112131415", 1796644800, {}};

std::vector<unsigned char> FromBase64(const std::string& text) {
  std::vector<unsigned char> bytes(text.size());
  size_t length = 0;
  sodium_base642bin(bytes.data(), bytes.size(), text.data(), text.size(), nullptr, &length, nullptr,
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  bytes.resize(length);
  return bytes;
}

std::string ToBase64(const std::vector<unsigned char>& bytes) {
  std::string text(
      sodium_base64_encoded_len(bytes.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING), '\0');
  sodium_bin2base64(text.data(), text.size(), bytes.data(), bytes.size(),
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  text.resize(text.size() - 1);
  return text;
}

TEST(SealedEnvelope, OpensUnderItsKeyAndHidesTheToken) {
  const HostKey key = RandomHostKey();
  const std::string envelope = SealEnvelope(key, kContents);
  EXPECT_EQ(envelope.find(kContents.token), std::string::npos);
  EXPECT_EQ(envelope.find_first_not_of(
                "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
            std::string::npos);  // safe in a URL and an attribute as it is
  const auto opened = OpenEnvelope(key, envelope);
  ASSERT_TRUE(opened.has_value());
  EXPECT_EQ(opened->token, kContents.token);
  EXPECT_EQ(opened->expiresAt, kContents.expiresAt);
  const std::string again = SealEnvelope(key, kContents);
  EXPECT_NE(again, envelope);  // a fresh nonce each time
  // The id names this envelope, not its token: two seals, two ids.
  EXPECT_TRUE(std::regex_match(opened->id, std::regex("[0-9a-f]{32}"))) << opened->id;
  EXPECT_EQ(OpenEnvelope(key, envelope)->id, opened->id);
  EXPECT_NE(OpenEnvelope(key, again)->id, opened->id);
}

TEST(SealedEnvelope, EveryFlippedBitIsRefused) {
  const HostKey key = RandomHostKey();
  const std::vector<unsigned char> sealed = FromBase64(SealEnvelope(key, kContents));
  for (size_t bit = 0; bit < sealed.size() * 8; ++bit) {
    std::vector<unsigned char> changed = sealed;
    changed[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
    EXPECT_FALSE(OpenEnvelope(key, ToBase64(changed)).has_value()) << "bit " << bit;
  }
}

TEST(SealedEnvelope, ForeignBrokenAndOversizedEnvelopesAreRefused) {
  const HostKey key = RandomHostKey();
  const std::string envelope = SealEnvelope(key, kContents);
  const std::string refused[] = {
      SealEnvelope(RandomHostKey(), kContents),  // another host's key
      envelope.substr(0, envelope.size() - 1),   // cut short
      envelope.substr(0, 20),                    // shorter than a nonce and a tag
      envelope + "A",                            // a character more
      envelope + "=",                            // padding is not used
      "",                                        // nothing
      std::string(kMaxEnvelopeLength + 1, 'A'),  // too long to decode
      "!!" + envelope.substr(2),                 // not base64
      SealEnvelope(key, {"12a", 0, {}}),         // sealed, but not a token
  };
  for (const std::string& text : refused) EXPECT_FALSE(OpenEnvelope(key, text).has_value()) << text;
}

TEST(HostKeyFile, MustHoldExactly32Bytes) {
  const std::string path = ::testing::TempDir() + "/pagehost-key";
  struct Case {
    size_t bytes;
    bool ok;
  };
  for (const Case c : {Case{32, true}, Case{31, false}, Case{33, false}, Case{0, false}}) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    for (size_t i = 0; i < c.bytes; ++i) std::fputc(static_cast<int>(i), file);
    std::fclose(file);
    HostKey key{};
    std::string error;
    EXPECT_EQ(LoadHostKey(path, key, error), c.ok) << c.bytes;
    if (c.ok) {
      EXPECT_EQ(key[31], 31);
    } else {
      EXPECT_NE(error.find("32 bytes"), std::string::npos);
    }
  }
  HostKey key{};
  std::string error;
  EXPECT_FALSE(LoadHostKey(path + ".missing", key, error));
}

TEST(PasswordFile, TheFirstLineIsThePassword) {
  const std::string path = ::testing::TempDir() + "/pagehost-password";
  const struct {
    std::string content;
    bool ok;
    const char* password;  // or the start of the reason
  } cases[] = {
      {"s3cret\n", true, "s3cret"},
      {"s3cret", true, "s3cret"},
      {"s3cret\r\nsecond line\n", true, "s3cret"},
      {" spaced out \n", true, " spaced out "},
      {"caf\xC3\xA9\n", true, "caf\xC3\xA9"},
      {std::string(kMaxPasswordFileLine, 'p'), true, ""},
      {"", false, "the password file"},
      {"\n", false, "the password file"},
      {"\r\nsecret on line two\n", false, "the password file"},
      {std::string(kMaxPasswordFileLine + 1, 'p'), false, "the first line"},
  };
  for (const auto& c : cases) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(c.content.data(), 1, c.content.size(), file);
    std::fclose(file);
    std::string password = "unchanged", error;
    EXPECT_EQ(LoadPasswordFile(path, password, error), c.ok) << c.content.substr(0, 20);
    if (!c.ok) {
      EXPECT_EQ(password, "unchanged");
      EXPECT_EQ(error.rfind(c.password, 0), 0u) << error;
      EXPECT_NE(error.find(path), std::string::npos) << error;
    } else if (*c.password != 0) {
      EXPECT_EQ(password, c.password);
    } else {
      EXPECT_EQ(password.size(), kMaxPasswordFileLine);
    }
  }
  std::string password, error;
  EXPECT_FALSE(LoadPasswordFile(path + ".missing", password, error));
  EXPECT_EQ(error.rfind("cannot read", 0), 0u);
}

TEST(FormDecoding, DecodesEscapesAndRefusesWhatNoFormHolds) {
  QueryValues values;
  std::string reason;
  ASSERT_TRUE(DecodeForm("token=a%2Bb&answer=x+y%21&&", values, reason));
  EXPECT_EQ(values, (QueryValues{{"token", "a+b"}, {"answer", "x y!"}}));
  for (const char* bad : {"a=1&a=2", "a", "=1", "a=%2", "a=%zz", "a=%"}) {
    QueryValues ignored;
    EXPECT_FALSE(DecodeForm(bad, ignored, reason)) << bad;
  }
  QueryValues empty;
  EXPECT_TRUE(DecodeForm("", empty, reason));
  EXPECT_TRUE(empty.empty());
}

TEST(HostChallengeText, UsesTheComponentsCharactersAndLengths) {
  OLECHAR alphabet[kChallengeAlphabetCapacity];
  const int size = ChallengeAlphabet(alphabet);
  EXPECT_EQ(size, 57);  // 24 + 24 + 9: I, O, l, o and 0 are never drawn
  const std::u16string characters(alphabet, size);
  for (char16_t lookAlike : std::u16string(u"IOlo0")) {
    EXPECT_EQ(characters.find(lookAlike), std::u16string::npos);
  }
  std::set<std::u16string> seen;
  std::set<size_t> lengths;
  std::map<char16_t, int> drawn;
  int total = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::u16string text = DrawChallengeText();
    lengths.insert(text.size());
    for (char16_t c : text) ASSERT_NE(characters.find(c), std::u16string::npos);
    for (char16_t c : text) ++drawn[c];
    total += int(text.size());
    seen.insert(text);
  }
  EXPECT_EQ(lengths, (std::set<size_t>{kHostTextMinLength, kHostTextMaxLength}));
  EXPECT_GE(seen.size(), 1999u);  // 57^5 texts: a repeat in 2000 is a one-in-300,000 event
  // Every character as likely: about 193 each, within five standard
  // deviations (about 14) of that.
  const double expected = double(total) / size;
  EXPECT_EQ(drawn.size(), size_t(size));
  for (const auto& [c, count] : drawn) {
    EXPECT_NEAR(count, expected, 5 * std::sqrt(expected)) << "character " << int(c);
  }
}

TEST(HttpIntrinsics, TheResponseWritesTheReplyAndRefusesHeaderBreaks) {
  PageReply reply;
  IScriptingContext* context = NewHttpScriptingContext(reply, 42);
  ASSERT_NE(context, nullptr);
  IResponse* response = nullptr;
  ASSERT_EQ(context->get_Response(&response), S_OK);
  BSTR type = SysAllocString(u"image/gif");
  EXPECT_EQ(response->put_ContentType(type), S_OK);
  SysFreeString(type);
  BSTR broken = SysAllocString(u"text/html\r\nSet-Cookie: x=1");
  EXPECT_EQ(response->put_ContentType(broken), E_INVALIDARG);
  SysFreeString(broken);
  EXPECT_EQ(reply.contentType, "image/gif");

  SAFEARRAYBOUND bound = {3, 0};
  VARIANT bytes;
  VariantInit(&bytes);
  bytes.vt = VT_ARRAY | VT_UI1;
  bytes.parray = SafeArrayCreate(VT_UI1, 1, &bound);
  void* data = nullptr;
  SafeArrayAccessData(bytes.parray, &data);
  std::memcpy(data, "GIF", 3);
  SafeArrayUnaccessData(bytes.parray);
  EXPECT_EQ(response->BinaryWrite(bytes), S_OK);
  EXPECT_EQ(response->BinaryWrite(bytes), S_OK);
  VariantClear(&bytes);
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  EXPECT_EQ(response->BinaryWrite(number), E_INVALIDARG);
  EXPECT_EQ(reply.body, "GIFGIF");

  IRequest* request = nullptr;
  ASSERT_EQ(context->get_Request(&request), S_OK);
  LONG total = 0;
  EXPECT_EQ(request->get_TotalBytes(&total), S_OK);
  EXPECT_EQ(total, 42);
  request->Release();
  response->Release();
  context->Release();  // the last reference: everything goes (the leak check sees the rest)
}

}  // namespace
