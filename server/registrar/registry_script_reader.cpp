// Tokenizer of expanded registry scripts.
#include "server/registrar/registry_script_reader.h"

namespace {
constexpr WCHAR kQuote = '\'';
}

void RegistryScriptReader::SkipWhitespace() {
  while (IsScriptWhitespace(*position_)) ++position_;
}

HRESULT RegistryScriptReader::NextToken(ScriptToken* token) {
  token->length = 0;
  token->text[0] = 0;
  SkipWhitespace();
  if (*position_ == 0) return DISP_E_EXCEPTION;
  const bool quoted = *position_ == kQuote;
  if (quoted) ++position_;
  while (true) {
    if (*position_ == 0) {
      if (quoted) return DISP_E_EXCEPTION;
      break;
    }
    if (quoted && *position_ == kQuote) {
      if (position_[1] != kQuote) {
        ++position_;
        break;
      }
      ++position_;  // a doubled quote: keep one
    } else if (!quoted && IsScriptWhitespace(*position_)) {
      break;
    }
    if (token->length == kMaxTokenUnits) return DISP_E_EXCEPTION;
    token->text[token->length++] = *position_++;
  }
  token->text[token->length] = 0;
  return S_OK;
}
