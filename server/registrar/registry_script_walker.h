// Second stage of applying a registry script: walks the expanded text root
// block by root block, creating keys and values (register) or removing what
// the script describes while sparing what it marks NoRemove (unregister). A
// failed registration walks the failing root block again to remove it.
#pragma once

#include "server/registrar/registry_script_reader.h"

// Deepest block nesting a script may use (the root block is level 1). Ten
// times what registration scripts need; it keeps the walks' stack small, so a
// hostile script fails with DISP_E_EXCEPTION instead of exhausting the stack.
constexpr size_t kMaxScriptBlockDepth = 64;

// Applies the expanded script `text`. Returns S_OK or the first failure:
// DISP_E_EXCEPTION for syntax errors and unknown root names, E_FAIL for an
// odd number of binary digits, HRESULT_FROM_WIN32 of a failing registry
// call, E_OUTOFMEMORY. Keys opened on the way are closed on every path.
HRESULT WalkRegistryScript(const WCHAR* text, bool registering) noexcept;
