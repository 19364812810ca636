// Helpers of the type-library tests: loading a library file into an owned
// reference, reading a whole file, and describing a type the way the tests
// compare libraries (names, ids, kinds, flags, parameters, resolved types).
#pragma once

#include <gtest/gtest.h>
#include <oleauto.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// Releases the interface it holds.
template <typename Interface>
class Held {
 public:
  Held() = default;
  ~Held() { reset(); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  Interface** out() {
    reset();
    return &pointer_;
  }
  Interface* get() const { return pointer_; }
  Interface* operator->() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  void reset() {
    if (pointer_ != nullptr) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

inline std::u16string Utf16(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

inline std::string Narrow(BSTR text) {
  std::string out;
  for (UINT i = 0; i < SysStringLen(text); ++i) out += static_cast<char>(text[i]);
  return out;
}

// One line per fact of `info`'s functions, in a form two loads can compare.
inline std::vector<std::string> DescribeFunctions(ITypeInfo* info) {
  std::vector<std::string> lines;
  TYPEATTR* attr = nullptr;
  if (FAILED(info->GetTypeAttr(&attr))) return {"no attributes"};
  for (UINT i = 0; i < attr->cFuncs; ++i) {
    FUNCDESC* desc = nullptr;
    if (FAILED(info->GetFuncDesc(i, &desc))) {
      lines.push_back("no function " + std::to_string(i));
      continue;
    }
    BSTR names[16] = {};
    UINT count = 0;
    info->GetNames(desc->memid, names, 16, &count);
    std::string line = std::to_string(desc->memid) + " kind=" + std::to_string(desc->invkind) +
                       " funckind=" + std::to_string(desc->funckind) +
                       " vft=" + std::to_string(desc->oVft) +
                       " flags=" + std::to_string(desc->wFuncFlags) +
                       " ret=" + std::to_string(desc->elemdescFunc.tdesc.vt);
    for (UINT n = 0; n < count; ++n) {
      line += " " + Narrow(names[n]);
      SysFreeString(names[n]);
    }
    for (SHORT p = 0; p < desc->cParams; ++p) {
      const ELEMDESC& element = desc->lprgelemdescParam[p];
      const TYPEDESC* type = &element.tdesc;
      line += " [" + std::to_string(element.paramdesc.wParamFlags) + ":";
      for (; type->vt == VT_PTR; type = type->lptdesc) line += "ptr ";
      if (type->vt == VT_USERDEFINED) {
        // Compared by what the reference resolves to (an alias's type).
        ITypeInfo* target = nullptr;
        TYPEATTR* targetAttr = nullptr;
        if (SUCCEEDED(info->GetRefTypeInfo(type->hreftype, &target)) &&
            SUCCEEDED(target->GetTypeAttr(&targetAttr))) {
          line += targetAttr->typekind == TKIND_ALIAS
                      ? std::to_string(targetAttr->tdescAlias.vt)
                      : "kind" + std::to_string(targetAttr->typekind);
          target->ReleaseTypeAttr(targetAttr);
        } else {
          line += "unresolved";
        }
        if (target != nullptr) target->Release();
      } else {
        line += std::to_string(type->vt);
      }
      line += "]";
    }
    lines.push_back(line);
    info->ReleaseFuncDesc(desc);
  }
  info->ReleaseTypeAttr(attr);
  return lines;
}
