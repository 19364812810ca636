// Independent DES implementations the tests compare crypto/des.cpp against: a
// slow bit-by-bit cipher written straight from the standard's tables, and
// OpenSSL's DES. Blocks and keys are 64-bit numbers, byte 0 most significant.
#pragma once

#include <cstdint>
#include <string>

using DesBlock = std::uint64_t;

enum class DesDirection { kEncipher, kDecipher };

// FIPS 46-3 one bit at a time: permutations by table look-up, E, the S-box
// rows and columns, P, and the C/D rotations.
DesBlock ReferenceDes(DesBlock key, DesBlock input, DesDirection direction);

// OpenSSL's DES (ECB, one block, key parity not checked).
DesBlock OpenSslDes(DesBlock key, DesBlock input, DesDirection direction);

// The component's DES: set key, then transform with flag 0 or 1.
DesBlock ComponentDes(DesBlock key, DesBlock input, DesDirection direction);

DesBlock BlockFromHex(const std::string& hex);
std::string HexFromBlock(DesBlock block);
void BlockToBytes(DesBlock block, unsigned char (&bytes)[8]);
DesBlock BlockFromBytes(const unsigned char* bytes);
