// Tokens of an expanded registry script: quoted ('it''s') or unquoted (up to
// the next whitespace), read one at a time into a fixed token buffer. Used by
// the walks (registry_script_walker.h); the reader never owns the text.
#pragma once

#include "server/registrar/registry_script_text.h"

// Size of a token buffer in units; a token holds at most kMaxTokenUnits.
constexpr size_t kTokenBufferUnits = 4096;
constexpr size_t kMaxTokenUnits = kTokenBufferUnits - 2;

struct ScriptToken {
  WCHAR text[kTokenBufferUnits] = {};
  size_t length = 0;

  bool Is(const WCHAR* word) const { return EqualsIgnoringCase(text, length, word); }
  bool IsExactly(WCHAR unit) const { return length == 1 && text[0] == unit; }
  bool BeginsWith(WCHAR unit) const { return length > 0 && text[0] == unit; }
  ScriptString Copy() const { return ScriptString(text, length); }
};

class RegistryScriptReader {
 public:
  explicit RegistryScriptReader(const WCHAR* text) : position_(text) {}

  // Reads the next token into `token`, after any whitespace. A quoted token
  // loses its quotes and has each doubled quote made one. DISP_E_EXCEPTION
  // at the end of the text, for an unterminated quoted token and for a token
  // longer than kMaxTokenUnits. Cost: linear in the units read.
  HRESULT NextToken(ScriptToken* token);
  void SkipWhitespace();
  bool AtEnd() const { return *position_ == 0; }
  const WCHAR* Position() const { return position_; }
  void Rewind(const WCHAR* earlier) { position_ = earlier; }

 private:
  const WCHAR* position_;
};
