// Decoding of application/x-www-form-urlencoded text (query strings and form
// bodies) into names and values, refusing what a well-formed form never holds.
#pragma once

#include <map>
#include <string>

// Every field by name, each given once (DecodeForm refuses repeats).
using QueryValues = std::map<std::string, std::string>;

// Splits `text` at '&' and '=', turns '+' into space and %XX into its byte.
// Returns false with a reason for a bad escape, a field without '=', an
// empty name, or a name given twice.
bool DecodeForm(const std::string& text, QueryValues& values, std::string& reason);
