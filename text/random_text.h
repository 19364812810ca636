// The random challenge text: a length drawn between two bounds, then each
// character from three classes (upper case, lower case, digits) with the
// look-alikes I, O, l, o and 0 replaced by fixed neighbours. A text of
// length n costs exactly 1 + 2n draws from the random source.
#pragma once

#include "state/challenge_settings.h"

// Longest text the generator writes: the same bound as every copy into the
// text buffer, so that every text the component holds can also be put back.
constexpr int kMaxRandomTextLength = kTextCopyBound - 1;

// The length that the first draw `r0` selects for SetRandomText(min, max),
// before bounding: min + scaled draw of r0 with factor max - min (32-bit
// wrap-around arithmetic, no swap of the bounds).
INT32 DrawnTextLength(int r0, LONG min, LONG max);

// Room for every character a random text can hold: two letter cases and
// the digits, before the look-alikes are taken out.
constexpr int kChallengeAlphabetCapacity = 2 * 26 + 10;

// Writes each character the generator can put into a text, once, in the
// order upper case, lower case, digits, and returns how many there are. For
// hosts that draw a text from another source with the same characters.
int ChallengeAlphabet(OLECHAR (&alphabet)[kChallengeAlphabetCapacity]);

// Fills `text` with a random text of min..max characters. A drawn length
// below 0 gives the empty text and one above kMaxRandomTextLength is cut to
// it; nothing is written past the terminator at position n.
void GenerateRandomText(OLECHAR (&text)[kTextCapacity], LONG min, LONG max);
