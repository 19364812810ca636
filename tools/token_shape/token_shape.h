// Whether a text has the shape of a token the component makes. The component
// takes any text as a token and restores some text and age from it, as it
// must; the tools that face users (the glimmark tool, the page host) use this
// check to call a text that no token can be "malformed" instead.
#pragma once

#include <string_view>

// True when `token` is ASCII decimal digits in three-digit groups, each group
// 000..255 (one ciphertext byte), and either a whole number (1..4) of 24-digit
// blocks or the 99 digits that a text of 14 or more characters gives (four
// blocks and the first byte of a fifth, cut there). False for everything
// else, the empty text included. Cost: one pass over the text.
bool IsWellFormedToken(std::u16string_view token);
