// DES against published known answers, OpenSSL and a bit-by-bit reference.
#include "crypto/des.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "des_oracles.h"
#include "json_value.h"

namespace {

constexpr DesBlock kOddParityOnes = 0x0101010101010101ULL;  // the all-"zero" key with parity set
constexpr DesBlock kParityBits = 0x0101010101010101ULL;

struct KnownAnswer {
  std::string key;
  std::string plaintext;
  std::string ciphertext;
};

// Enciphers and deciphers one row with the component's DES and OpenSSL.
void ExpectRowHolds(DesBlock key, DesBlock plaintext, DesBlock ciphertext,
                    const std::string& what) {
  SCOPED_TRACE(what + " key " + HexFromBlock(key) + " plaintext " + HexFromBlock(plaintext));
  EXPECT_EQ(HexFromBlock(ComponentDes(key, plaintext, DesDirection::kEncipher)),
            HexFromBlock(ciphertext));
  EXPECT_EQ(HexFromBlock(ComponentDes(key, ciphertext, DesDirection::kDecipher)),
            HexFromBlock(plaintext));
}

// The component agrees with OpenSSL (which supplies the expected value) both ways.
void ExpectMatchesOpenSsl(DesBlock key, DesBlock plaintext, const std::string& what) {
  ExpectRowHolds(key, plaintext, OpenSslDes(key, plaintext, DesDirection::kEncipher), what);
}

JsonValue LoadKnownAnswerFile() {
  return ParseJson(ReadWholeFile(GLIMMARK_DES_KNOWN_ANSWERS));
}

TEST(DesKnownAnswers, EveryPublishedRowHoldsBothWays) {
  const JsonValue file = LoadKnownAnswerFile();
  const auto& rows = file["vectors"].items;
  ASSERT_GE(rows.size(), 40u);
  for (const JsonValue& row : rows) {
    ExpectRowHolds(BlockFromHex(row["key"].text), BlockFromHex(row["plaintext"].text),
                   BlockFromHex(row["ciphertext"].text), row["source"].text);
  }
}

TEST(DesKnownAnswers, PublishedPropertiesHold) {
  const JsonValue file = LoadKnownAnswerFile();
  const auto& properties = file["properties"].items;
  ASSERT_FALSE(properties.empty());
  for (const JsonValue& p : properties) {
    SCOPED_TRACE(p["what"].text);
    const DesBlock key = BlockFromHex(p["key"].text);
    const DesBlock block = BlockFromHex(p["block"].text);
    const DesBlock enciphered = BlockFromHex(p["encipher"].text);
    EXPECT_EQ(ComponentDes(key, block, DesDirection::kEncipher), enciphered);
    if (p.members.count("decipher")) {
      EXPECT_EQ(ComponentDes(key, block, DesDirection::kDecipher),
                BlockFromHex(p["decipher"].text));
      EXPECT_EQ(ComponentDes(key, enciphered, DesDirection::kEncipher),
                BlockFromHex(p["encipher_twice"].text));
    }
    if (p.members.count("key_same_modulo_parity")) {
      EXPECT_EQ(ComponentDes(BlockFromHex(p["key_same_modulo_parity"].text), block,
                             DesDirection::kEncipher),
                enciphered);
    }
  }
}

// x(i+1) = E(key = x_i, x_i) for even i, D(key = x_i, x_i) for odd i.
TEST(DesKnownAnswers, RivestIteratedTestReachesPublishedValue) {
  const JsonValue rivest = LoadKnownAnswerFile()["rivest_iterated"];
  DesBlock x = BlockFromHex(rivest["x0"].text);
  for (int i = 0; i < 16; ++i) {
    x = ComponentDes(x, x, i % 2 == 0 ? DesDirection::kEncipher : DesDirection::kDecipher);
  }
  EXPECT_EQ(HexFromBlock(x), rivest["published_x16"].text);
}

// The systematic tables in full: every single-bit plaintext under the
// parity-only key, and every single non-parity key bit on the zero block
// (the published key keeps odd parity in the other bytes).
TEST(DesSystematicTables, VariablePlaintextAllSixtyFourRows) {
  for (int bit = 0; bit < 64; ++bit) {
    ExpectMatchesOpenSsl(kOddParityOnes, DesBlock{1} << (63 - bit), "variable plaintext");
  }
}

TEST(DesSystematicTables, VariableKeyAllFiftySixRows) {
  int rows = 0;
  for (int byte = 0; byte < 8; ++byte) {
    for (int column = 0; column < 7; ++column) {
      const int shift = 56 - 8 * byte;
      const DesBlock key =
          (kOddParityOnes & ~(DesBlock{0xFF} << shift)) | (DesBlock{0x80u >> column} << shift);
      ExpectMatchesOpenSsl(key, 0, "variable key");
      ++rows;
    }
  }
  EXPECT_EQ(rows, 56);
}

// The permutation-operation and substitution tables, typed from the
// published lists; OpenSSL confirms each row as well.
TEST(DesSystematicTables, PermutationOperationAllThirtyTwoRows) {
  const std::vector<KnownAnswer> rows = {
      {"1046913489980131", "0000000000000000", "88D55E54F54C97B4"},
      {"1007103489988020", "0000000000000000", "0C0CC00C83EA48FD"},
      {"10071034C8980120", "0000000000000000", "83BC8EF3A6570183"},
      {"1046103489988020", "0000000000000000", "DF725DCAD94EA2E9"},
      {"1086911519190101", "0000000000000000", "E652B53B550BE8B0"},
      {"1086911519580101", "0000000000000000", "AF527120C485CBB0"},
      {"5107B01519580101", "0000000000000000", "0F04CE393DB926D5"},
      {"1007B01519190101", "0000000000000000", "C9F00FFC74079067"},
      {"3107915498080101", "0000000000000000", "7CFD82A593252B4E"},
      {"3107919498080101", "0000000000000000", "CB49A2F9E91363E3"},
      {"10079115B9080140", "0000000000000000", "00B588BE70D23F56"},
      {"3107911598080140", "0000000000000000", "406A9A6AB43399AE"},
      {"1007D01589980101", "0000000000000000", "6CB773611DCA9ADA"},
      {"9107911589980101", "0000000000000000", "67FD21C17DBB5D70"},
      {"9107D01589190101", "0000000000000000", "9592CB4110430787"},
      {"1007D01598980120", "0000000000000000", "A6B7FF68A318DDD3"},
      {"1007940498190101", "0000000000000000", "4D102196C914CA16"},
      {"0107910491190401", "0000000000000000", "2DFA9F4573594965"},
      {"0107910491190101", "0000000000000000", "B46604816C0E0774"},
      {"0107940491190401", "0000000000000000", "6E7E6221A4F34E87"},
      {"19079210981A0101", "0000000000000000", "AA85E74643233199"},
      {"1007911998190801", "0000000000000000", "2E5A19DB4D1962D6"},
      {"10079119981A0801", "0000000000000000", "23A866A809D30894"},
      {"1007921098190101", "0000000000000000", "D812D961F017D320"},
      {"100791159819010B", "0000000000000000", "055605816E58608F"},
      {"1004801598190101", "0000000000000000", "ABD88E8B1B7716F1"},
      {"1004801598190102", "0000000000000000", "537AC95BE69DA1E1"},
      {"1004801598190108", "0000000000000000", "AED0F6AE3C25CDD8"},
      {"1002911598100104", "0000000000000000", "B3E35A5EE53E7B8D"},
      {"1002911598190104", "0000000000000000", "61C79C71921A2EF8"},
      {"1002911598100201", "0000000000000000", "E2F5728F0995013C"},
      {"1002911698100101", "0000000000000000", "1AEAC39A61F0A464"},
  };
  ASSERT_EQ(rows.size(), 32u);
  for (const KnownAnswer& row : rows) {
    const DesBlock key = BlockFromHex(row.key);
    const DesBlock plaintext = BlockFromHex(row.plaintext);
    const DesBlock ciphertext = BlockFromHex(row.ciphertext);
    EXPECT_EQ(OpenSslDes(key, plaintext, DesDirection::kEncipher), ciphertext) << row.key;
    ExpectRowHolds(key, plaintext, ciphertext, "permutation operation");
  }
}

TEST(DesSystematicTables, SubstitutionTableAllNineteenRows) {
  const std::vector<KnownAnswer> rows = {
      {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
      {"0131D9619DC1376E", "5CD54CA83DEF57DA", "7A389D10354BD271"},
      {"07A1133E4A0B2686", "0248D43806F67172", "868EBB51CAB4599A"},
      {"3849674C2602319E", "51454B582DDF440A", "7178876E01F19B2A"},
      {"04B915BA43FEB5B6", "42FD443059577FA2", "AF37FB421F8C4095"},
      {"0113B970FD34F2CE", "059B5E0851CF143A", "86A560F10EC6D85B"},
      {"0170F175468FB5E6", "0756D8E0774761D2", "0CD3DA020021DC09"},
      {"43297FAD38E373FE", "762514B829BF486A", "EA676B2CB7DB2B7A"},
      {"07A7137045DA2A16", "3BDD119049372802", "DFD64A815CAF1A0F"},
      {"04689104C2FD3B2F", "26955F6835AF609A", "5C513C9C4886C088"},
      {"37D06BB516CB7546", "164D5E404F275232", "0A2AEEAE3FF4AB77"},
      {"1F08260D1AC2465E", "6B056E18759F5CCA", "EF1BF03E5DFA575A"},
      {"584023641ABA6176", "004BD6EF09176062", "88BF0DB6D70DEE56"},
      {"025816164629B007", "480D39006EE762F2", "A1F9915541020B56"},
      {"49793EBC79B3258F", "437540C8698F3CFA", "6FBF1CAFCFFD0556"},
      {"4FB05E1515AB73A7", "072D43A077075292", "2F22E49BAB7CA1AC"},
      {"49E95D6D4CA229BF", "02FE55778117F12A", "5A6B612CC26CCE4A"},
      {"018310DC409B26D6", "1D9D5C5018F728C2", "5F4C038ED12B2E41"},
      {"1C587F1C13924FEF", "305532286D6F295A", "63FAC0D034D9F793"},
  };
  ASSERT_EQ(rows.size(), 19u);
  for (const KnownAnswer& row : rows) {
    const DesBlock key = BlockFromHex(row.key);
    const DesBlock plaintext = BlockFromHex(row.plaintext);
    const DesBlock ciphertext = BlockFromHex(row.ciphertext);
    EXPECT_EQ(OpenSslDes(key, plaintext, DesDirection::kEncipher), ciphertext) << row.key;
    ExpectRowHolds(key, plaintext, ciphertext, "substitution table");
  }
}

TEST(DesDifferential, RandomKeysAndBlocksAgreeWithReferenceAndOpenSsl) {
  std::mt19937_64 random(20240517);
  for (int i = 0; i < 5000; ++i) {
    const DesBlock key = random();
    const DesBlock block = random();
    for (DesDirection direction : {DesDirection::kEncipher, DesDirection::kDecipher}) {
      const DesBlock ours = ComponentDes(key, block, direction);
      ASSERT_EQ(ours, ReferenceDes(key, block, direction))
          << HexFromBlock(key) << " " << HexFromBlock(block);
      ASSERT_EQ(ours, OpenSslDes(key, block, direction))
          << HexFromBlock(key) << " " << HexFromBlock(block);
    }
  }
}

TEST(DesKeySchedule, ParityBitsChangeNothing) {
  std::mt19937_64 random(7);
  for (int i = 0; i < 200; ++i) {
    const DesBlock key = random();
    const DesBlock otherParity = key ^ (random() & kParityBits);
    unsigned char keyBytes[8];
    unsigned char otherBytes[8];
    BlockToBytes(key, keyBytes);
    BlockToBytes(otherParity, otherBytes);
    DesRoundKeys encryptA, decryptA, encryptB, decryptB;
    DesSetKey(keyBytes, encryptA, decryptA);
    DesSetKey(otherBytes, encryptB, decryptB);
    EXPECT_EQ(std::memcmp(encryptA, encryptB, sizeof(encryptA)), 0);
    EXPECT_EQ(std::memcmp(decryptA, decryptB, sizeof(decryptA)), 0);
  }
}

TEST(DesKeySchedule, DecryptListIsTheEncryptListReversed) {
  const unsigned char key[8] = {0x13, 0x34, 0x57, 0x79, 0x9B, 0xBC, 0xDF, 0xF1};
  DesRoundKeys encryptKeys, decryptKeys;
  DesSetKey(key, encryptKeys, decryptKeys);
  for (int round = 0; round < kDesRoundCount; ++round) {
    for (int w = 0; w < kDesWordsPerRoundKey; ++w) {
      EXPECT_EQ(decryptKeys[round * 2 + w], encryptKeys[(15 - round) * 2 + w]);
    }
  }
}

// The key an empty password gives: a weak key whose round keys are all
// zero, so enciphering twice is the identity and both directions agree.
TEST(DesKeySchedule, AllZeroKeyIsWeak) {
  const unsigned char zeroKey[8] = {};
  DesRoundKeys encryptKeys, decryptKeys;
  DesSetKey(zeroKey, encryptKeys, decryptKeys);
  for (DWORD word : encryptKeys) EXPECT_EQ(word, 0u);
  std::mt19937_64 random(3);
  for (int i = 0; i < 100; ++i) {
    const DesBlock block = random();
    const DesBlock once = ComponentDes(0, block, DesDirection::kEncipher);
    EXPECT_NE(once, block);
    EXPECT_EQ(ComponentDes(0, once, DesDirection::kEncipher), block);
    EXPECT_EQ(ComponentDes(0, block, DesDirection::kDecipher), once);
  }
}

TEST(DesTransform, EveryNonzeroFlagDeciphers) {
  const unsigned char key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  const unsigned char ciphertext[8] = {0x3F, 0xA4, 0x0E, 0x8A, 0x98, 0x4D, 0x48, 0x15};
  const unsigned char plaintext[8] = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
  DesRoundKeys encryptKeys, decryptKeys;
  DesSetKey(key, encryptKeys, decryptKeys);
  for (int flag : {1, -1, 2, 255, 0x100, INT_MAX, INT_MIN}) {
    unsigned char out[8] = {};
    DesTransformBlock(encryptKeys, decryptKeys, ciphertext, out, flag);
    EXPECT_EQ(std::memcmp(out, plaintext, 8), 0) << "flag " << flag;
  }
}

TEST(DesTransform, OutputMayBeTheInputBuffer) {
  const unsigned char key[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  unsigned char block[8] = {'N', 'o', 'w', ' ', 'i', 's', ' ', 't'};
  DesRoundKeys encryptKeys, decryptKeys;
  DesSetKey(key, encryptKeys, decryptKeys);
  DesTransformBlock(encryptKeys, decryptKeys, block, block, kDesEncipher);
  EXPECT_EQ(HexFromBlock(BlockFromBytes(block)), "3FA40E8A984D4815");
}

}  // namespace
