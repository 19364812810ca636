// Reads the MIDL-compatible subset the project's type libraries are written
// in: imports of the SDK's base IDL files, interfaces (uuid, object, dual,
// nonextensible, oleautomation, hidden, pointer_default) deriving from
// IUnknown or IDispatch, methods with id/propget/propput, parameters with
// in/out/retval, automation base types, a library block (uuid, version, lcid)
// with importlib("stdole2.tlb"), coclasses and interface references.
// Anything else is refused with an IdlError naming the line.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "idl_model.h"

namespace glimmark::idl {

class IdlError : public std::runtime_error {
 public:
  IdlError(int line, const std::string& message)
      : std::runtime_error("line " + std::to_string(line) + ": " + message), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

// Parses `source`; throws IdlError for text outside the subset.
IdlFile ReadIdl(std::string_view source);

}  // namespace glimmark::idl
