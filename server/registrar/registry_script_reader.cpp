// Tokenizer of expanded registry scripts.
#include "server/registrar/registry_script_reader.h"

namespace {
constexpr WCHAR kQuote = '\'';
}

void RegistryScriptReader::SkipWhitespace() {
  while (IsScriptWhitespace(*position)) ++position;
}

HRESULT RegistryScriptReader::NextToken(ScriptToken* token) {
  token->length = 0;
  token->text[0] = 0;
  SkipWhitespace();
  if (*position == 0) return DISP_E_EXCEPTION;
  const bool quoted = *position == kQuote;
  if (quoted) ++position;
  while (true) {
    if (*position == 0) {
      if (quoted) return DISP_E_EXCEPTION;
      break;
    }
    if (quoted && *position == kQuote) {
      if (position[1] != kQuote) {
        ++position;
        break;
      }
      ++position;  // a doubled quote: keep one
    } else if (!quoted && IsScriptWhitespace(*position)) {
      break;
    }
    if (token->length == kMaxTokenUnits) return DISP_E_EXCEPTION;
    token->text[token->length++] = *position++;
  }
  token->text[token->length] = 0;
  return S_OK;
}
