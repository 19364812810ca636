// First stage of applying a registry script: variables written between
// percent signs are replaced by their values and, for a per-user
// registration, classes-root blocks are moved beneath the current user's
// Software\Classes key. The walks (registry_script_walker.h) read the result.
#pragma once

#include "server/registrar/registry_script_text.h"
#include "server/registrar/registry_variables.h"

// A variable name must be shorter than this many units.
constexpr size_t kMaxVariableNameUnits = 32;
// Bound on the expanded text (units): a script and its variables never come
// near it, a hostile one fails with E_OUTOFMEMORY instead of taking memory
// without limit.
constexpr size_t kMaxExpandedScriptUnits = size_t{16} << 20;

// Expands `text` into `expanded`. "%%" gives one percent sign; "%name%" the
// first value defined for name (without regard to case), inserted unchanged,
// inside quoted text too. With `perUser`, a root name "HKCR" written at
// nesting level 0 becomes HKCU, Software, Classes, and the block's closing
// brace gets the two extra closing braces. Returns S_OK; DISP_E_EXCEPTION for
// a percent sign without its closing sign or an undefined variable; E_FAIL for
// a name of kMaxVariableNameUnits or more; E_OUTOFMEMORY. Cost: linear in the
// result.
HRESULT ExpandRegistryScript(const WCHAR* text, const RegistryVariableTable& variables,
                             bool perUser, ScriptString* expanded) noexcept;
