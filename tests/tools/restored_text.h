// What a page host's tests need to answer its pictures: the envelope a form
// carries, and the text a token or envelope restores to under a password,
// read through the component's own interface.
#pragma once

#include <string>

#include "tools/pagehost/sealed_envelope.h"

// The restored text (ASCII), or empty when no object could be made.
std::string RestoredText(const std::u16string& password, const std::string& token);
// The text sealed in `envelope` under `key`, or empty when it does not open.
std::string AnswerOfEnvelope(const HostKey& key, const std::u16string& password,
                             const std::string& envelope);
// The envelope in the hidden token field of a form page, or empty.
std::string EnvelopeInForm(const std::string& page);
