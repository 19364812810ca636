// The page host's challenge text: drawn from the system's cryptographic
// random source (libsodium's randombytes, getrandom underneath) over the
// characters the component's own generator uses, with a length the
// component accepts. The component's generator is seeded from the clock and
// can be predicted; this one cannot.
#pragma once

#include <string>

constexpr int kHostTextMinLength = 5;
constexpr int kHostTextMaxLength = 6;

// A text of kHostTextMinLength..kHostTextMaxLength characters, each drawn
// uniformly from ChallengeAlphabet, the length uniformly from the range.
std::u16string DrawChallengeText();
