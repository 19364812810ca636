#include "tools/pagehost/challenge_text.h"

#include <sodium.h>

#include <cstdint>
#include <cstdlib>

#include "text/random_text.h"

static_assert(kHostTextMinLength > 0 && kHostTextMaxLength >= kHostTextMinLength &&
                  kHostTextMaxLength <= kMaxRandomTextLength,
              "the host's texts must fit what the component keeps");

namespace {

// Uniform values below a bound, from random words fetched together: one
// getrandom for a whole text rather than one for each character (each one a
// system call, and a page host draws a text for every form).
class RandomWords {
 public:
  RandomWords() = default;
  RandomWords(const RandomWords&) = delete;
  RandomWords& operator=(const RandomWords&) = delete;
  ~RandomWords() { sodium_memzero(words_, sizeof words_); }

  uint32_t Below(uint32_t bound) {
    // Words under 2^32 mod bound are drawn again, so that every value below
    // the bound is as likely as every other.
    const uint32_t redrawn = (0u - bound) % bound;
    uint32_t word = Next();
    while (word < redrawn) word = Next();
    return word % bound;
  }

 private:
  uint32_t Next() {
    if (used_ == kWords) {
      randombytes_buf(words_, sizeof words_);
      used_ = 0;
    }
    return words_[used_++];
  }

  // A longest text's characters and its length, and a word to spare.
  static constexpr size_t kWords = kHostTextMaxLength + 2;
  uint32_t words_[kWords];
  size_t used_ = kWords;
};

}  // namespace

std::u16string DrawChallengeText() {
  OLECHAR alphabet[kChallengeAlphabetCapacity];
  const int size = ChallengeAlphabet(alphabet);
  if (sodium_init() < 0) std::abort();  // no random source: no challenge can be made
  RandomWords random;
  const int length = kHostTextMinLength +
                     static_cast<int>(random.Below(kHostTextMaxLength - kHostTextMinLength + 1));
  std::u16string text;
  for (int i = 0; i < length; ++i) text.push_back(alphabet[random.Below(uint32_t(size))]);
  return text;
}
