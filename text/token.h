// The encrypted, time-stamped challenge token: the challenge text and the
// second it was stamped, enciphered with DES block by block and written as
// three decimal digits per ciphertext byte. This file owns the token format
// and works on the settings record's text, key lists, tokenText and
// encryptionAge; token_operations.cpp wires it to the object, des.h ciphers.
#pragma once

#include "component/challenge_settings.h"

// Only this many leading code units of a password make up the DES key.
constexpr int kPasswordKeyUnits = 4;
// A token holds at most this many ciphertext bytes (33 groups of "%03d" and a
// terminator fit the 100 units that the token is assembled in).
constexpr int kMaxTokenBytes = 33;
constexpr int kDigitsPerTokenByte = 3;
constexpr int kMaxTokenDigits = kMaxTokenBytes * kDigitsPerTokenByte;
// Restoring reads at most this many three-digit groups (the 200 bytes of text).
constexpr int kMaxTokenGroups = 200;
// Plaintext bytes ahead of the text: the time stamp's low 32 bits and bits 32-39.
constexpr int kTimeStampBytes = 5;

// The DES key of `password`: its first four UTF-16 code units low byte first,
// zero bytes where the password is shorter. `length` counts code units (a BSTR's
// length; embedded zero units count); a null password is empty.
void DeriveTokenKey(const OLECHAR* password, UINT length, BYTE (&key)[8]);

// Sets both key lists of `settings` from `password` (see DeriveTokenKey).
// Leaves the text alone. Cannot fail.
void SetTokenPassword(ChallengeSettings* settings, const OLECHAR* password, UINT length);

// Makes the token of settings->text stamped with `now` (seconds since 1970)
// into settings->tokenText, zero-terminated, and returns its digit count: 24,
// 48, 72, 96 or 99. Leaves the text alone. No allocation; at most five blocks
// are enciphered, since later ones would fall beyond the 33-byte cut.
int MakeToken(ChallengeSettings* settings, LONGLONG now);

// Restores settings->text from `token` (`length` code units, null counts as
// empty) and sets settings->encryptionAge to `now` minus the token's stamp,
// both modulo 2^32 as a signed number. Any value is taken: groups that are not
// three digits follow TokenGroupValue, a trailing partial group and a partial
// block are dropped, and a value without a whole block gives the empty text.
// The text always ends with a zero within its 100 units. No allocation.
void RestoreToken(ChallengeSettings* settings, const OLECHAR* token, UINT length, LONGLONG now);

// The byte that one three-unit group stands for: the group read as a base-10
// integer the way wcstol reads it (leading white space, an optional sign,
// ASCII digits up to the first other unit, none giving 0; a zero unit ends the
// group), keeping the low eight bits. "256" gives 0, "-01" gives 255.
BYTE TokenGroupValue(const OLECHAR* group);
