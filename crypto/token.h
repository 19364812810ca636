// The encrypted, time-stamped challenge token: the challenge text and the
// second it was stamped, enciphered with DES block by block and written as
// three decimal digits per ciphertext byte. This file owns the token format;
// its inputs are explicit (key schedule, text buffer, clock value), so it knows
// nothing of the object: component/token_operations.cpp wires it to the
// settings record, des.h ciphers.
#pragma once

#include <windows.h>
// OLECHAR comes with the OLE headers.
#include <ole2.h>

#include "crypto/des.h"

// Only this many leading code units of a password make up the DES key.
constexpr int kPasswordKeyUnits = 4;
// A token holds at most this many ciphertext bytes (33 groups of "%03d" and a
// terminator fit the 100 units that the token is assembled in).
constexpr int kMaxTokenBytes = 33;
constexpr int kDigitsPerTokenByte = 3;
constexpr int kMaxTokenDigits = kMaxTokenBytes * kDigitsPerTokenByte;
constexpr int kTokenDigitsUnits = kMaxTokenDigits + 1;  // digits and terminator
// The text buffer a token is made from and restored into, in UTF-16 units
// including the terminator: the challenge text buffer of the settings record.
constexpr int kTokenTextUnits = 100;
using TokenTextBuffer = OLECHAR[kTokenTextUnits];
// Restoring reads at most this many three-digit groups (the 200 bytes of text).
constexpr int kMaxTokenGroups = 2 * kTokenTextUnits;
// Plaintext bytes ahead of the text: the time stamp's low 32 bits and bits 32-39.
constexpr int kTimeStampBytes = 5;

// The DES key of `password`: its first four UTF-16 code units low byte first,
// zero bytes where the password is shorter. `length` counts code units (a BSTR's
// length; embedded zero units count); a null password is empty.
void DeriveTokenKey(const OLECHAR* password, UINT length, BYTE (&key)[8]);

// Fills both key lists from `password` (see DeriveTokenKey). Cannot fail.
void SetTokenPassword(const OLECHAR* password, UINT length, DesRoundKeys& encryptKeys,
                      DesRoundKeys& decryptKeys);

// Makes the token of `text` stamped with `now` (seconds since 1970) under
// `encryptKeys` into `digits` (room for kTokenDigitsUnits units),
// zero-terminated, and returns its digit count: 24, 48, 72, 96 or 99. No
// allocation; at most five blocks are enciphered, since later ones would fall
// beyond the 33-byte cut.
int MakeToken(const TokenTextBuffer& text, const DesRoundKeys& encryptKeys, LONGLONG now,
              OLECHAR* digits);

// Restores `text` from `token` (`length` code units, null counts as empty)
// under `decryptKeys` and returns the token's age: `now` minus its stamp, both
// modulo 2^32 as a signed number. Any value is taken: groups that are not
// three digits follow TokenGroupValue, a trailing partial group and a partial
// block are dropped, and a value without a whole block gives the empty text.
// The text always ends with a zero within its 100 units. No allocation.
LONG RestoreToken(const DesRoundKeys& decryptKeys, const OLECHAR* token, UINT length, LONGLONG now,
                  TokenTextBuffer& text);

// The byte that one three-unit group stands for: the group read as a base-10
// integer the way wcstol reads it (leading white space, an optional sign,
// ASCII digits up to the first other unit, none giving 0; a zero unit ends the
// group), keeping the low eight bits. "256" gives 0, "-01" gives 255.
BYTE TokenGroupValue(const OLECHAR* group);
