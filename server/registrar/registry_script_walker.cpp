// Register, unregister and recovery walks over an expanded registry script.
#include "server/registrar/registry_script_walker.h"

#include <memory>
#include <new>

#include "server/registrar/registry_key_removal.h"
#include "server/registrar/registry_script_values.h"

namespace {

struct RootKeyName {
  const WCHAR* shortName;
  const WCHAR* longName;
  HKEY key;
};

const RootKeyName kRootKeys[] = {
    {OLESTR("HKCR"), OLESTR("HKEY_CLASSES_ROOT"), HKEY_CLASSES_ROOT},
    {OLESTR("HKCU"), OLESTR("HKEY_CURRENT_USER"), HKEY_CURRENT_USER},
    {OLESTR("HKLM"), OLESTR("HKEY_LOCAL_MACHINE"), HKEY_LOCAL_MACHINE},
    {OLESTR("HKU"), OLESTR("HKEY_USERS"), HKEY_USERS},
    {OLESTR("HKPD"), OLESTR("HKEY_PERFORMANCE_DATA"), HKEY_PERFORMANCE_DATA},
    {OLESTR("HKDD"), OLESTR("HKEY_DYN_DATA"), HKEY_DYN_DATA},
    {OLESTR("HKCC"), OLESTR("HKEY_CURRENT_CONFIG"), HKEY_CURRENT_CONFIG}};

const WCHAR kForceRemove[] = OLESTR("ForceRemove");
const WCHAR kDelete[] = OLESTR("Delete");
const WCHAR kNoRemove[] = OLESTR("NoRemove");
const WCHAR kVal[] = OLESTR("Val");
constexpr WCHAR kEquals = '=';
constexpr WCHAR kOpenBrace = '{';
constexpr WCHAR kCloseBrace = '}';
constexpr WCHAR kBackslash = '\\';

// Closes a key opened by the walk when its entry ends, on every path.
class KeyCloser {
 public:
  KeyCloser() = default;
  ~KeyCloser() {
    if (key != nullptr) RegCloseKey(key);
  }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;
  // Closes now and reports the result.
  LONG Close() {
    const LONG error = key != nullptr ? RegCloseKey(key) : ERROR_SUCCESS;
    key = nullptr;
    return error;
  }
  HKEY key = nullptr;
};

enum class Removal { kNone, kForceRemove, kDelete };

// The optional words in front of an entry.
struct EntryPrefix {
  Removal removal = Removal::kNone;
  bool noRemove = false;
};

bool HasBackslash(const ScriptToken& token) {
  for (size_t i = 0; i < token.length; ++i) {
    if (token.text[i] == kBackslash) return true;
  }
  return false;
}

class ScriptWalk {
 public:
  explicit ScriptWalk(const WCHAR* text) : reader_(text) {}

  // An empty script succeeds; one of only whitespace has text left where a
  // root key name is needed, so the first read fails with DISP_E_EXCEPTION.
  HRESULT Apply(bool registering) {
    while (!reader_.AtEnd()) {
      HRESULT hr = Next();
      if (FAILED(hr)) return hr;
      const HKEY root = RootKey();
      if (root == nullptr) return DISP_E_EXCEPTION;
      hr = Next();
      if (FAILED(hr)) return hr;
      if (!token_.BeginsWith(kOpenBrace)) return DISP_E_EXCEPTION;
      hr = registering ? RegisterRootBlock(root) : UnregisterBlock(root, false, 1);
      if (FAILED(hr)) return hr;
      reader_.SkipWhitespace();
    }
    return S_OK;
  }

 private:
  HRESULT Next() { return reader_.NextToken(&token_); }

  HKEY RootKey() const {
    for (const RootKeyName& root : kRootKeys) {
      if (token_.Is(root.shortName) || token_.Is(root.longName)) return root.key;
    }
    return nullptr;
  }

  // A failed registration removes again what its root block describes, by
  // walking the same block in unregister mode; its own result is dropped.
  HRESULT RegisterRootBlock(HKEY root) {
    const WCHAR* blockStart = reader_.Position();
    const HRESULT hr = RegisterBlock(root, 1);
    if (SUCCEEDED(hr)) return hr;
    reader_.Rewind(blockStart);
    depthExceeded_ = false;
    UnregisterBlock(root, false, 1);
    return hr;
  }

  HRESULT EnterBlock(size_t depth) {
    if (depth <= kMaxScriptBlockDepth) return S_OK;
    depthExceeded_ = true;
    return DISP_E_EXCEPTION;
  }

  // Reads ForceRemove / Delete and NoRemove in front of an entry, in that
  // order; the token after them is left in `token`. After ForceRemove or
  // Delete that token is always a key name, even when it reads "Val".
  HRESULT ReadPrefix(EntryPrefix* prefix) {
    if (token_.Is(kForceRemove) || token_.Is(kDelete)) {
      prefix->removal = token_.Is(kDelete) ? Removal::kDelete : Removal::kForceRemove;
      const HRESULT hr = Next();
      if (FAILED(hr)) return hr;
    }
    if (token_.Is(kNoRemove)) {
      prefix->noRemove = true;
      return Next();
    }
    return S_OK;
  }

  // A block after a Delete or Val entry has no meaning; it is refused rather
  // than read as a key named "{".
  HRESULT RefuseBlock() const { return token_.IsExactly(kOpenBrace) ? DISP_E_EXCEPTION : S_OK; }

  // Skips "= type text" when the current token is "="; leaves the token after.
  HRESULT SkipOptionalValue() {
    if (!token_.IsExactly(kEquals)) return S_OK;
    for (int i = 0; i < 3; ++i) {
      const HRESULT hr = Next();
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  // ---- register ----

  HRESULT RegisterBlock(HKEY parent, size_t depth) {
    HRESULT hr = EnterBlock(depth);
    if (SUCCEEDED(hr)) hr = Next();
    while (SUCCEEDED(hr) && !token_.BeginsWith(kCloseBrace)) hr = RegisterEntry(parent, depth);
    return hr;
  }

  HRESULT RegisterEntry(HKEY parent, size_t depth) {
    EntryPrefix prefix;
    HRESULT hr = ReadPrefix(&prefix);
    if (FAILED(hr)) return hr;
    if (prefix.removal == Removal::kNone && token_.Is(kVal)) return RegisterNamedValue(parent);
    if (HasBackslash(token_)) return DISP_E_EXCEPTION;
    const ScriptString name = token_.Copy();
    if (prefix.removal != Removal::kNone && !IsProtectedKeyName(name)) {
      RemoveRegistryKeyTree(parent, name.c_str());  // a key that is not there is fine
    }
    if (prefix.removal == Removal::kDelete) {
      hr = Next();
      if (SUCCEEDED(hr)) hr = SkipOptionalValue();
      return SUCCEEDED(hr) ? RefuseBlock() : hr;
    }
    return RegisterKey(parent, name, depth);
  }

  // After `val`: the value's name, then the `=` that must follow it.
  HRESULT ReadValueName(ScriptString* name) {
    HRESULT hr = Next();
    if (FAILED(hr)) return hr;
    *name = token_.Copy();
    hr = Next();
    if (FAILED(hr)) return hr;
    return token_.IsExactly(kEquals) ? S_OK : DISP_E_EXCEPTION;
  }

  HRESULT RegisterNamedValue(HKEY parent) {
    ScriptString name;
    HRESULT hr = ReadValueName(&name);
    if (FAILED(hr)) return hr;
    hr = WriteValue(parent, name.c_str());
    return SUCCEEDED(hr) ? RefuseBlock() : hr;
  }

  // Opens the key for reading and writing, else for reading, else makes it.
  HRESULT RegisterKey(HKEY parent, const ScriptString& name, size_t depth) {
    KeyCloser key;
    if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, &key.key) != ERROR_SUCCESS &&
        RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key.key) != ERROR_SUCCESS) {
      const LONG error = RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_READ | KEY_WRITE, nullptr, &key.key, nullptr);
      if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    }
    HRESULT hr = Next();
    if (SUCCEEDED(hr) && token_.IsExactly(kEquals)) hr = WriteValue(key.key, nullptr);
    if (SUCCEEDED(hr) && token_.IsExactly(kOpenBrace)) {
      hr = RegisterBlock(key.key, depth + 1);
      if (SUCCEEDED(hr)) hr = Next();
    }
    return hr;
  }

  // Reads "type text" after the "=" and writes the value, then reads the
  // next token.
  HRESULT WriteValue(HKEY key, const WCHAR* name) {
    HRESULT hr = Next();
    if (FAILED(hr)) return hr;
    if (!IsRegistryValueTypeLetter(token_.text, token_.length)) return DISP_E_EXCEPTION;
    const WCHAR letter = token_.text[0];
    hr = Next();
    if (FAILED(hr)) return hr;
    RegistryValueData value;
    hr = ConvertRegistryValue(letter, token_.text, token_.length, &value);
    if (FAILED(hr)) return hr;
    const LONG error = RegSetValueExW(key, name, 0, value.type, value.bytes.data(),
                                      static_cast<DWORD>(value.bytes.size()));
    if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
    return Next();
  }

  // ---- unregister and recovery ----

  // While `recovering`, the block is only read: nothing is opened or removed.
  HRESULT UnregisterBlock(HKEY parent, bool recovering, size_t depth) {
    HRESULT hr = EnterBlock(depth);
    if (SUCCEEDED(hr)) hr = Next();
    while (SUCCEEDED(hr) && !token_.BeginsWith(kCloseBrace)) {
      hr = UnregisterEntry(parent, recovering, depth);
    }
    return hr;
  }

  HRESULT UnregisterEntry(HKEY parent, bool recovering, size_t depth) {
    EntryPrefix prefix;
    const HRESULT hr = ReadPrefix(&prefix);
    if (FAILED(hr)) return hr;
    if (prefix.removal == Removal::kNone && token_.Is(kVal)) {
      return UnregisterNamedValue(parent, recovering || prefix.noRemove);
    }
    if (HasBackslash(token_)) return DISP_E_EXCEPTION;
    return UnregisterKey(parent, token_.Copy(), prefix, recovering, depth);
  }

  HRESULT UnregisterNamedValue(HKEY parent, bool keep) {
    ScriptString name;
    HRESULT hr = ReadValueName(&name);
    if (FAILED(hr)) return hr;
    hr = SkipOptionalValue();
    if (FAILED(hr)) return hr;
    hr = RefuseBlock();
    if (FAILED(hr) || keep) return hr;
    KeyCloser key;
    LONG error = RegOpenKeyExW(parent, nullptr, 0, KEY_SET_VALUE, &key.key);
    if (error == ERROR_SUCCESS) error = RegDeleteValueW(key.key, name.c_str());
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return HRESULT_FROM_WIN32(error);
    return S_OK;
  }

  HRESULT UnregisterKey(HKEY parent, const ScriptString& name, const EntryPrefix& prefix,
                        bool recovering, size_t depth) {
    KeyCloser key;
    LONG openError = ERROR_SUCCESS;
    if (!recovering) openError = RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, &key.key);
    const bool blockRecovering = recovering || openError != ERROR_SUCCESS;
    HRESULT hr = Next();
    if (SUCCEEDED(hr)) hr = SkipOptionalValue();
    if (SUCCEEDED(hr) && prefix.removal == Removal::kDelete) hr = RefuseBlock();
    if (FAILED(hr)) return hr;
    bool hadBlock = false;
    if (token_.IsExactly(kOpenBrace)) {
      hadBlock = true;
      hr = UnregisterBlock(key.key, blockRecovering, depth + 1);
      // Inside a block only read, a failure is passed over, except the depth
      // bound, past which the walk cannot find its place again.
      if (FAILED(hr) && (!blockRecovering || depthExceeded_)) return hr;
      hr = Next();
      if (FAILED(hr)) return hr;
    }
    if (recovering || openError == ERROR_FILE_NOT_FOUND) return S_OK;
    if (openError != ERROR_SUCCESS) return hadBlock ? S_OK : HRESULT_FROM_WIN32(openError);
    return RemoveIfEmpty(parent, name, &key, prefix.noRemove);
  }

  HRESULT RemoveIfEmpty(HKEY parent, const ScriptString& name, KeyCloser* key, bool keep) {
    DWORD subkeys = 0;
    // A key whose subkeys cannot be counted is treated as not empty: kept.
    if (RegQueryInfoKeyW(key->key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      subkeys = 1;
    }
    const LONG closeError = key->Close();
    if (closeError != ERROR_SUCCESS) return HRESULT_FROM_WIN32(closeError);
    if (subkeys != 0 || keep) return S_OK;
    const LONG error = DeleteRegistryKey(parent, name.c_str());
    return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
  }

  RegistryScriptReader reader_;
  ScriptToken token_;
  bool depthExceeded_ = false;
};

}  // namespace

HRESULT WalkRegistryScript(const WCHAR* text, bool registering) noexcept {
  if (text == nullptr) return E_INVALIDARG;
  try {
    // The token buffer is large: the walk lives on the heap.
    std::unique_ptr<ScriptWalk> walk(new ScriptWalk(text));
    return walk->Apply(registering);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
