// What a page host's tests need to answer its pictures: the text a token
// restores to under a password, read through the component's own interface.
#pragma once

#include <string>

// The restored text (ASCII), or empty when no object could be made.
std::string RestoredText(const std::u16string& password, const std::string& token);
