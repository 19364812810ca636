#include "tools/pagehost/challenge_text.h"

#include <sodium.h>

#include <cstdlib>

#include "text/random_text.h"

static_assert(kHostTextMinLength > 0 && kHostTextMaxLength >= kHostTextMinLength &&
                  kHostTextMaxLength <= kMaxRandomTextLength,
              "the host's texts must fit what the component keeps");

std::u16string DrawChallengeText() {
  OLECHAR alphabet[kChallengeAlphabetCapacity];
  const int size = ChallengeAlphabet(alphabet);
  if (sodium_init() < 0) std::abort();  // no random source: no challenge can be made
  const int length =
      kHostTextMinLength +
      static_cast<int>(randombytes_uniform(kHostTextMaxLength - kHostTextMinLength + 1));
  std::u16string text;
  for (int i = 0; i < length; ++i) {
    text.push_back(alphabet[randombytes_uniform(static_cast<uint32_t>(size))]);
  }
  return text;
}
