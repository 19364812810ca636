#include "crypto/token.h"

#include <cstring>

#include "crypto/des.h"

namespace {

constexpr int kTextBytes = kTokenTextUnits * 2;  // the text buffer taken as bytes
static_assert(kMaxTokenGroups == kTextBytes, "one group per text byte");
// Blocks that can reach the token: those holding the first kMaxTokenBytes bytes.
constexpr int kMaxTokenBlocks = (kMaxTokenBytes + kDesBlockBytes - 1) / kDesBlockBytes;
// Longest plaintext: stamp, a full (even unterminated) text, padding.
constexpr int kMaxPlaintextBytes =
    (kTimeStampBytes + kTextBytes + kDesBlockBytes - 1) / kDesBlockBytes * kDesBlockBytes;

int TextLength(const TokenTextBuffer& text) {
  int length = 0;
  while (length < kTokenTextUnits && text[length] != 0) ++length;
  return length;
}

// Plaintext: stamp bytes, then the text units low byte first, zero padding.
// Returns the padded length in bytes.
int BuildPlaintext(const TokenTextBuffer& text, LONGLONG now,
                   BYTE (&plaintext)[kMaxPlaintextBytes]) {
  std::memset(plaintext, 0, sizeof(plaintext));
  const ULONGLONG stamp = static_cast<ULONGLONG>(now);
  for (int i = 0; i < kTimeStampBytes; ++i) plaintext[i] = static_cast<BYTE>(stamp >> (8 * i));
  const int length = TextLength(text);
  for (int u = 0; u < length; ++u) {
    plaintext[kTimeStampBytes + 2 * u] = static_cast<BYTE>(text[u] & 0xFF);
    plaintext[kTimeStampBytes + 2 * u + 1] = static_cast<BYTE>(text[u] >> 8);
  }
  const int bytes = kTimeStampBytes + 2 * length;
  return (bytes + kDesBlockBytes - 1) / kDesBlockBytes * kDesBlockBytes;
}

// Writes `value` as exactly three decimal digits.
void WriteGroup(BYTE value, OLECHAR* digits) {
  digits[0] = static_cast<OLECHAR>(u'0' + value / 100);
  digits[1] = static_cast<OLECHAR>(u'0' + value / 10 % 10);
  digits[2] = static_cast<OLECHAR>(u'0' + value % 10);
}

bool IsWhiteSpace(OLECHAR unit) {
  return unit == u' ' || (unit >= u'\t' && unit <= u'\r');  // tab, LF, VT, FF, CR
}

bool IsDigit(OLECHAR unit) { return unit >= u'0' && unit <= u'9'; }

UINT32 LoadLittleEndian32(const BYTE* bytes) {
  return UINT32{bytes[0]} | (UINT32{bytes[1]} << 8) | (UINT32{bytes[2]} << 16) |
         (UINT32{bytes[3]} << 24);
}

}  // namespace

void DeriveTokenKey(const OLECHAR* password, UINT length, BYTE (&key)[8]) {
  std::memset(key, 0, sizeof(key));
  if (password == nullptr) return;
  const UINT units = length < kPasswordKeyUnits ? length : kPasswordKeyUnits;
  for (UINT u = 0; u < units; ++u) {
    key[2 * u] = static_cast<BYTE>(password[u] & 0xFF);
    key[2 * u + 1] = static_cast<BYTE>(password[u] >> 8);
  }
}

namespace {

// The key schedule this thread made last: a page host sets the same password
// on a new object for every request, and scheduling costs more than a token.
struct KeptSchedule {
  bool made = false;
  BYTE key[kDesKeyBytes] = {};
  DesRoundKeys encryptKeys = {};
  DesRoundKeys decryptKeys = {};
};

}  // namespace

void SetTokenPassword(const OLECHAR* password, UINT length, DesRoundKeys& encryptKeys,
                      DesRoundKeys& decryptKeys) {
  BYTE key[kDesKeyBytes];
  DeriveTokenKey(password, length, key);
  thread_local KeptSchedule kept;
  if (!kept.made || std::memcmp(kept.key, key, sizeof(key)) != 0) {
    DesSetKey(key, kept.encryptKeys, kept.decryptKeys);
    std::memcpy(kept.key, key, sizeof(key));
    kept.made = true;
  }
  std::memcpy(encryptKeys, kept.encryptKeys, sizeof(DesRoundKeys));
  std::memcpy(decryptKeys, kept.decryptKeys, sizeof(DesRoundKeys));
}

int MakeToken(const TokenTextBuffer& text, const DesRoundKeys& encryptKeys, LONGLONG now,
              OLECHAR* digits) {
  BYTE plaintext[kMaxPlaintextBytes];
  const int plaintextBytes = BuildPlaintext(text, now, plaintext);
  const int tokenBytes = plaintextBytes < kMaxTokenBytes ? plaintextBytes : kMaxTokenBytes;
  // ECB: each block on its own, and blocks past the cut are never written.
  BYTE ciphertext[kMaxTokenBlocks * kDesBlockBytes];
  const int blocks = (tokenBytes + kDesBlockBytes - 1) / kDesBlockBytes;
  // Enciphering reads only the first key list.
  DesTransformBlocks(encryptKeys, encryptKeys, plaintext, ciphertext, blocks, kDesEncipher);
  for (int j = 0; j < tokenBytes; ++j) {
    WriteGroup(ciphertext[j], digits + kDigitsPerTokenByte * j);
  }
  const int digitCount = tokenBytes * kDigitsPerTokenByte;
  digits[digitCount] = 0;
  return digitCount;
}

BYTE TokenGroupValue(const OLECHAR* group) {
  int i = 0;
  while (i < kDigitsPerTokenByte && IsWhiteSpace(group[i])) ++i;
  bool negative = false;
  if (i < kDigitsPerTokenByte && (group[i] == u'+' || group[i] == u'-')) {
    negative = group[i] == u'-';
    ++i;
  }
  int value = 0;
  while (i < kDigitsPerTokenByte && IsDigit(group[i])) value = value * 10 + (group[i++] - u'0');
  if (negative) value = -value;
  return static_cast<BYTE>(value & 0xFF);  // two's complement low byte
}

LONG RestoreToken(const DesRoundKeys& decryptKeys, const OLECHAR* token, UINT length, LONGLONG now,
                  TokenTextBuffer& text) {
  if (token == nullptr) length = 0;
  UINT groups = length / kDigitsPerTokenByte;
  if (groups > kMaxTokenGroups) groups = kMaxTokenGroups;

  BYTE ciphertext[kTextBytes];
  for (UINT g = 0; g < groups; ++g) {
    ciphertext[g] = TokenGroupValue(token + kDigitsPerTokenByte * g);
  }
  // The text is cleared first, so bytes that no whole block reaches stay zero.
  BYTE plaintext[kTextBytes] = {};
  // Deciphering reads only the second key list.
  DesTransformBlocks(decryptKeys, decryptKeys, ciphertext, plaintext,
                     static_cast<int>(groups / kDesBlockBytes), kDesDecipher);

  const UINT32 stamp = LoadLittleEndian32(plaintext);
  const UINT32 nowLow = static_cast<UINT32>(static_cast<ULONGLONG>(now));
  const LONG age = static_cast<LONG>(static_cast<INT32>(nowLow - stamp));

  // Drop the stamp: bytes 5..199 move down to 0..194, the last five stay.
  std::memmove(plaintext, plaintext + kTimeStampBytes, kTextBytes - kTimeStampBytes);
  for (int u = 0; u < kTokenTextUnits; ++u) {
    text[u] =
        static_cast<OLECHAR>(plaintext[2 * u] | (static_cast<unsigned>(plaintext[2 * u + 1]) << 8));
  }
  // A token of this component reaches at most byte 32, so its text ends well
  // before the last unit; only noise could fill all 100 units. Keep it a string.
  text[kTokenTextUnits - 1] = 0;
  return age;
}
