#include "text/random_text.h"

#include "text/random_source.h"

namespace {

constexpr LONG kClassFactor = 4;    // class draw 0..4
constexpr LONG kLetterFactor = 25;  // A..Z, a..z
constexpr LONG kDigitFactor = 9;    // 0..9

// The look-alike substitutions, applied in this order, each to the result of
// the one before.
struct Substitution {
  OLECHAR drawn;
  OLECHAR stored;
};
constexpr Substitution kSubstitutions[] = {
    {OLESTR('I'), OLESTR('i')}, {OLESTR('l'), OLESTR('L')}, {OLESTR('0'), OLESTR('1')},
    {OLESTR('O'), OLESTR('P')}, {OLESTR('o'), OLESTR('p')},
};

OLECHAR DrawCharacter() {
  const int characterClass = ScaledDraw(kClassFactor);
  if (characterClass <= 1) return static_cast<OLECHAR>(OLESTR('A') + ScaledDraw(kLetterFactor));
  if (characterClass <= 3) return static_cast<OLECHAR>(OLESTR('a') + ScaledDraw(kLetterFactor));
  return static_cast<OLECHAR>(OLESTR('0') + ScaledDraw(kDigitFactor));
}

OLECHAR SubstituteLookAlikes(OLECHAR c) {
  for (const Substitution& substitution : kSubstitutions) {
    if (c == substitution.drawn) c = substitution.stored;
  }
  return c;
}

int BoundTextLength(INT32 length) {
  if (length < 0) return 0;
  if (length > kMaxRandomTextLength) return kMaxRandomTextLength;
  return length;
}

}  // namespace

int ChallengeAlphabet(OLECHAR (&alphabet)[kChallengeAlphabetCapacity]) {
  struct Range {
    OLECHAR first;
    LONG lastOffset;
  };
  const Range ranges[] = {
      {OLESTR('A'), kLetterFactor}, {OLESTR('a'), kLetterFactor}, {OLESTR('0'), kDigitFactor}};
  int count = 0;
  for (const Range& range : ranges) {
    for (LONG offset = 0; offset <= range.lastOffset; ++offset) {
      const OLECHAR c = static_cast<OLECHAR>(range.first + offset);
      // A look-alike stands for a character its class already has.
      if (SubstituteLookAlikes(c) == c) alphabet[count++] = c;
    }
  }
  return count;
}

INT32 DrawnTextLength(int r0, LONG min, LONG max) {
  const LONG spread = static_cast<LONG>(static_cast<UINT32>(max) - static_cast<UINT32>(min));
  return static_cast<INT32>(static_cast<UINT32>(min) +
                            static_cast<UINT32>(ScaleRandomValue(r0, spread)));
}

void GenerateRandomText(OLECHAR (&text)[kTextCapacity], LONG min, LONG max) {
  const int length = BoundTextLength(DrawnTextLength(DrawRandomValue(), min, max));
  for (int i = 0; i < length; ++i) text[i] = SubstituteLookAlikes(DrawCharacter());
  text[length] = 0;
}
