// The IDL subset's tokenizer and recursive-descent parser. See idl_reader.h.
#include "idl_reader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

namespace glimmark::idl {
namespace {

// VARTYPE values of the automation base types the subset accepts.
constexpr uint16_t kVtI2 = 2, kVtI4 = 3, kVtR4 = 4, kVtR8 = 5, kVtCy = 6, kVtDate = 7, kVtBstr = 8,
                   kVtDispatch = 9, kVtError = 10, kVtBool = 11, kVtVariant = 12, kVtUnknown = 13,
                   kVtUi1 = 17, kVtUi2 = 18, kVtUi4 = 19, kVtVoid = 24, kVtHresult = 25,
                   kVtUserDefined = 29;

// Base type names and their VARTYPEs. Interface names stand for a pointer.
const std::map<std::string, uint16_t, std::less<>>& BaseTypes() {
  static const std::map<std::string, uint16_t, std::less<>> types = {
      {"long", kVtI4},
      {"short", kVtI2},
      {"float", kVtR4},
      {"double", kVtR8},
      {"CURRENCY", kVtCy},
      {"CY", kVtCy},
      {"DATE", kVtDate},
      {"BSTR", kVtBstr},
      {"SCODE", kVtError},
      {"VARIANT_BOOL", kVtBool},
      {"VARIANT", kVtVariant},
      {"BYTE", kVtUi1},
      {"unsigned char", kVtUi1},
      {"unsigned short", kVtUi2},
      {"unsigned long", kVtUi4},
      {"void", kVtVoid},
      {"HRESULT", kVtHresult},
      {"IUnknown", kVtUnknown},
      {"IDispatch", kVtDispatch},
      {"OLE_COLOR", kVtUserDefined},
  };
  return types;
}

// The SDK files an `import` may name: they declare the base types above.
constexpr std::string_view kKnownImports[] = {"oaidl.idl", "ocidl.idl", "objidl.idl", "unknwn.idl",
                                              "wtypes.idl"};

enum class TokenKind { kEnd, kIdentifier, kNumber, kString, kPunct };

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;
  int line = 1;
};

class Lexer {
 public:
  explicit Lexer(std::string_view source) : source_(source) {}

  Token Next() {
    SkipSpaceAndComments();
    Token token;
    token.line = line_;
    if (position_ >= source_.size()) return token;
    const char c = source_[position_];
    if (c == '#') throw IdlError(line_, "preprocessor directives are not supported");
    if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      token.kind = TokenKind::kIdentifier;
      while (position_ < source_.size() && IsIdentifierChar(source_[position_])) {
        token.text += source_[position_++];
      }
    } else if (std::isdigit(static_cast<unsigned char>(c))) {
      token.kind = TokenKind::kNumber;
      while (position_ < source_.size() &&
             (std::isalnum(static_cast<unsigned char>(source_[position_])) ||
              source_[position_] == '.')) {
        token.text += source_[position_++];
      }
    } else if (c == '"') {
      token.kind = TokenKind::kString;
      ++position_;
      while (position_ < source_.size() && source_[position_] != '"') {
        if (source_[position_] == '\n' || source_[position_] == '\\') {
          throw IdlError(line_, "strings may not hold line breaks or escapes");
        }
        token.text += source_[position_++];
      }
      if (position_ >= source_.size()) throw IdlError(token.line, "unterminated string");
      ++position_;
    } else if (std::string_view("[](){};,:*=").find(c) != std::string_view::npos) {
      token.kind = TokenKind::kPunct;
      token.text = std::string(1, c);
      ++position_;
    } else {
      throw IdlError(line_, std::string("unexpected character '") + c + "'");
    }
    return token;
  }

  // The raw text up to (not including) the next ')', for uuid(...).
  std::string RawUntilCloseParen() {
    std::string text;
    while (position_ < source_.size() && source_[position_] != ')') {
      if (source_[position_] == '\n') ++line_;
      text += source_[position_++];
    }
    return text;
  }

  int line() const { return line_; }

 private:
  static bool IsIdentifierChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  }

  void SkipSpaceAndComments() {
    while (position_ < source_.size()) {
      const char c = source_[position_];
      if (c == '\n') {
        ++line_;
        ++position_;
      } else if (std::isspace(static_cast<unsigned char>(c))) {
        ++position_;
      } else if (source_.substr(position_, 2) == "//") {
        while (position_ < source_.size() && source_[position_] != '\n') ++position_;
      } else if (source_.substr(position_, 2) == "/*") {
        const size_t end = source_.find("*/", position_ + 2);
        if (end == std::string_view::npos) throw IdlError(line_, "unterminated comment");
        line_ += static_cast<int>(std::count(source_.begin() + static_cast<ptrdiff_t>(position_),
                                             source_.begin() + static_cast<ptrdiff_t>(end), '\n'));
        position_ = end + 2;
      } else {
        return;
      }
    }
  }

  std::string_view source_;
  size_t position_ = 0;
  int line_ = 1;
};

// One attribute of a [...] list: its name and, for name(arg), the argument.
struct Attribute {
  std::string name;
  std::string argument;
  bool hasArgument = false;
  int line = 0;
};

Guid ParseGuid(const std::string& rawText, int line) {
  std::string text;
  for (char c : rawText) {
    if (!std::isspace(static_cast<unsigned char>(c))) text += c;
  }
  const auto fail = [&]() -> IdlError {
    return IdlError(line, "malformed uuid '" + rawText + "'");
  };
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' ||
      text[23] != '-') {
    throw fail();
  }
  const auto hex = [&](size_t begin, size_t count) {
    uint64_t value = 0;
    const char* first = text.data() + begin;
    auto [end, error] = std::from_chars(first, first + count, value, 16);
    if (error != std::errc() || end != first + count) throw fail();
    return value;
  };
  Guid guid;
  guid.data1 = static_cast<uint32_t>(hex(0, 8));
  guid.data2 = static_cast<uint16_t>(hex(9, 4));
  guid.data3 = static_cast<uint16_t>(hex(14, 4));
  guid.data4[0] = static_cast<uint8_t>(hex(19, 2));
  guid.data4[1] = static_cast<uint8_t>(hex(21, 2));
  for (size_t i = 0; i < 6; ++i) guid.data4[2 + i] = static_cast<uint8_t>(hex(24 + 2 * i, 2));
  return guid;
}

int64_t ParseInteger(const std::string& text, int line) {
  int64_t value = 0;
  const bool isHex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  const char* first = text.data() + (isHex ? 2 : 0);
  const char* last = text.data() + text.size();
  auto [end, error] = std::from_chars(first, last, value, isHex ? 16 : 10);
  if (error != std::errc() || end != last) throw IdlError(line, "malformed number '" + text + "'");
  return value;
}

class Parser {
 public:
  explicit Parser(std::string_view source) : lexer_(source) { Advance(); }

  IdlFile ParseFile() {
    while (current_.kind != TokenKind::kEnd) {
      if (IsIdentifier("import")) {
        ParseImport();
        continue;
      }
      std::vector<Attribute> attributes = ParseAttributesIfAny();
      if (IsIdentifier("interface")) {
        ParseInterface(attributes);
      } else if (IsIdentifier("library")) {
        ParseLibrary(attributes);
      } else {
        throw Unexpected("'import', 'interface' or 'library'");
      }
    }
    return std::move(file_);
  }

 private:
  void Advance() { current_ = lexer_.Next(); }

  bool IsIdentifier(std::string_view text) const {
    return current_.kind == TokenKind::kIdentifier && current_.text == text;
  }
  bool IsPunct(char c) const { return current_.kind == TokenKind::kPunct && current_.text[0] == c; }

  IdlError Unexpected(const std::string& expected) const {
    const std::string found =
        current_.kind == TokenKind::kEnd ? "end of file" : "'" + current_.text + "'";
    return IdlError(current_.line, "expected " + expected + ", found " + found);
  }

  void Expect(char c) {
    if (!IsPunct(c)) throw Unexpected(std::string("'") + c + "'");
    Advance();
  }

  std::string ExpectIdentifier(const std::string& what) {
    if (current_.kind != TokenKind::kIdentifier) throw Unexpected(what);
    std::string text = current_.text;
    Advance();
    return text;
  }

  void SkipOptionalSemicolon() {
    if (IsPunct(';')) Advance();
  }

  void ParseImport() {
    Advance();
    if (current_.kind != TokenKind::kString) throw Unexpected("a file name in quotes");
    const std::string name = current_.text;
    if (std::find(std::begin(kKnownImports), std::end(kKnownImports), name) ==
        std::end(kKnownImports)) {
      throw IdlError(current_.line,
                     "import of '" + name + "' is not supported (only the SDK's base IDL files)");
    }
    Advance();
    Expect(';');
  }

  std::vector<Attribute> ParseAttributesIfAny() {
    std::vector<Attribute> attributes;
    if (!IsPunct('[')) return attributes;
    Advance();
    while (true) {
      Attribute attribute;
      attribute.line = current_.line;
      attribute.name = ExpectIdentifier("an attribute name");
      if (IsPunct('(')) {
        attribute.hasArgument = true;
        if (attribute.name == "uuid") {
          attribute.argument = lexer_.RawUntilCloseParen();
          Advance();  // now at ')'
        } else {
          Advance();
          if (current_.kind == TokenKind::kPunct) throw Unexpected("an attribute argument");
          attribute.argument = current_.text;
          Advance();
        }
        Expect(')');
      }
      attributes.push_back(std::move(attribute));
      if (IsPunct(']')) break;
      Expect(',');
    }
    Advance();
    return attributes;
  }

  static IdlError Unsupported(const Attribute& attribute, const std::string& where) {
    return IdlError(attribute.line,
                    "attribute '" + attribute.name + "' is not supported on " + where);
  }

  IdlType ParseType() {
    if (current_.kind != TokenKind::kIdentifier) throw Unexpected("a type");
    std::string name = current_.text;
    const int line = current_.line;
    Advance();
    if (name == "unsigned") {
      const std::string base = ExpectIdentifier("a type after 'unsigned'");
      name.append(" ").append(base);
    }
    const auto found = BaseTypes().find(name);
    if (found == BaseTypes().end()) {
      throw IdlError(line, "type '" + name + "' is not supported");
    }
    IdlType type;
    type.vt = found->second;
    if (type.vt == kVtUserDefined) type.importedName = name;
    while (IsPunct('*')) {
      ++type.pointerDepth;
      Advance();
    }
    const bool isInterface = type.vt == kVtUnknown || type.vt == kVtDispatch;
    if (isInterface) {
      if (type.pointerDepth == 0) throw IdlError(line, name + " must be used through a pointer");
      --type.pointerDepth;
    }
    if (type.pointerDepth > 1) throw IdlError(line, "more than one level of pointer");
    return type;
  }

  IdlParam ParseParam() {
    IdlParam param;
    for (const Attribute& attribute : ParseAttributesIfAny()) {
      if (attribute.name == "in") {
        param.flags |= kParamIn;
      } else if (attribute.name == "out") {
        param.flags |= kParamOut;
      } else if (attribute.name == "retval") {
        param.flags |= kParamRetval;
      } else {
        throw Unsupported(attribute, "a parameter");
      }
    }
    const int line = current_.line;
    param.type = ParseType();
    if (current_.kind == TokenKind::kIdentifier) param.name = ExpectIdentifier("a name");
    if (param.flags == 0) param.flags = kParamIn;
    if ((param.flags & (kParamOut | kParamRetval)) && param.type.pointerDepth == 0) {
      throw IdlError(line, "an [out] parameter must be a pointer");
    }
    if ((param.flags & kParamRetval) && !(param.flags & kParamOut)) {
      throw IdlError(line, "[retval] needs [out]");
    }
    if (param.type.vt == kVtVoid || param.type.vt == kVtHresult) {
      throw IdlError(line, "a parameter cannot be void or HRESULT");
    }
    return param;
  }

  IdlMethod ParseMethod() {
    IdlMethod method;
    method.line = current_.line;
    for (const Attribute& attribute : ParseAttributesIfAny()) {
      if (attribute.name == "id" && attribute.hasArgument) {
        method.id = static_cast<int32_t>(ParseInteger(attribute.argument, attribute.line));
      } else if (attribute.name == "propget") {
        method.kind = InvokeKind::kPropertyGet;
      } else if (attribute.name == "propput") {
        method.kind = InvokeKind::kPropertyPut;
      } else {
        throw Unsupported(attribute, "a method");
      }
    }
    method.returnType = ParseType();
    if (method.returnType.vt != kVtHresult || method.returnType.pointerDepth != 0) {
      throw IdlError(method.line, "methods must return HRESULT");
    }
    method.name = ExpectIdentifier("a method name");
    Expect('(');
    if (IsIdentifier("void")) {
      Advance();
    } else if (!IsPunct(')')) {
      while (true) {
        method.params.push_back(ParseParam());
        if (IsPunct(')')) break;
        Expect(',');
      }
    }
    Expect(')');
    Expect(';');
    for (size_t i = 0; i < method.params.size(); ++i) {
      if ((method.params[i].flags & kParamRetval) && i + 1 != method.params.size()) {
        throw IdlError(method.line, "[retval] must be the last parameter");
      }
    }
    return method;
  }

  IdlInterface& FindInterface(const std::string& name, int line) {
    for (IdlInterface& candidate : file_.interfaces) {
      if (candidate.name == name) return candidate;
    }
    throw IdlError(line, "interface '" + name + "' is not defined");
  }

  void ParseInterface(const std::vector<Attribute>& attributes, IdlLibrary* library = nullptr) {
    const int line = current_.line;
    Advance();
    const std::string name = ExpectIdentifier("an interface name");
    if (IsPunct(';')) {  // a reference to an interface defined earlier
      if (library == nullptr) throw IdlError(line, "forward declarations are not supported");
      if (!attributes.empty()) throw IdlError(line, "attributes on an interface reference");
      FindInterface(name, line);
      library->entries.push_back({LibraryEntry::kInterface, name});
      Advance();
      return;
    }
    IdlInterface interface;
    interface.name = name;
    interface.line = line;
    bool hasUuid = false;
    for (const Attribute& attribute : attributes) {
      if (attribute.name == "uuid") {
        interface.uuid = ParseGuid(attribute.argument, attribute.line);
        hasUuid = true;
      } else if (attribute.name == "dual") {
        interface.dual = true;
      } else if (attribute.name == "oleautomation") {
        interface.oleautomation = true;
      } else if (attribute.name == "nonextensible") {
        interface.nonextensible = true;
      } else if (attribute.name == "hidden") {
        interface.hidden = true;
      } else if (attribute.name != "object" && attribute.name != "pointer_default") {
        throw Unsupported(attribute, "an interface");
      }
    }
    if (!hasUuid) throw IdlError(line, "interface '" + name + "' has no uuid");
    Expect(':');
    interface.baseName = ExpectIdentifier("a base interface");
    if (interface.baseName != "IUnknown" && interface.baseName != "IDispatch") {
      throw IdlError(line, "base interface '" + interface.baseName +
                               "' is not supported (IUnknown or IDispatch only)");
    }
    if (interface.dual && interface.baseName != "IDispatch") {
      throw IdlError(line, "a dual interface must derive from IDispatch");
    }
    Expect('{');
    while (!IsPunct('}')) interface.methods.push_back(ParseMethod());
    Advance();
    SkipOptionalSemicolon();
    for (const IdlInterface& existing : file_.interfaces) {
      if (existing.name == name) throw IdlError(line, "interface '" + name + "' defined twice");
    }
    file_.interfaces.push_back(std::move(interface));
    if (library != nullptr) library->entries.push_back({LibraryEntry::kInterface, name});
  }

  void ParseCoclass(const std::vector<Attribute>& attributes, IdlLibrary& library) {
    IdlCoclass coclass;
    coclass.line = current_.line;
    Advance();
    coclass.name = ExpectIdentifier("a coclass name");
    bool hasUuid = false;
    for (const Attribute& attribute : attributes) {
      if (attribute.name == "uuid") {
        coclass.uuid = ParseGuid(attribute.argument, attribute.line);
        hasUuid = true;
      } else if (attribute.name == "noncreatable") {
        coclass.noncreatable = true;
      } else {
        throw Unsupported(attribute, "a coclass");
      }
    }
    if (!hasUuid) throw IdlError(coclass.line, "coclass '" + coclass.name + "' has no uuid");
    Expect('{');
    while (!IsPunct('}')) {
      IdlCoclassEntry entry;
      for (const Attribute& attribute : ParseAttributesIfAny()) {
        if (attribute.name == "default") {
          entry.isDefault = true;
        } else if (attribute.name == "source") {
          entry.isSource = true;
        } else {
          throw Unsupported(attribute, "a coclass member");
        }
      }
      const int line = current_.line;
      if (!IsIdentifier("interface")) throw Unexpected("'interface'");
      Advance();
      entry.interfaceName = ExpectIdentifier("an interface name");
      FindInterface(entry.interfaceName, line);
      Expect(';');
      coclass.interfaces.push_back(std::move(entry));
    }
    Advance();
    SkipOptionalSemicolon();
    library.entries.push_back({LibraryEntry::kCoclass, coclass.name});
    file_.coclasses.push_back(std::move(coclass));
  }

  void ParseLibrary(const std::vector<Attribute>& attributes) {
    const int line = current_.line;
    if (file_.library) throw IdlError(line, "only one library block is supported");
    Advance();
    IdlLibrary library;
    library.name = ExpectIdentifier("a library name");
    bool hasUuid = false;
    for (const Attribute& attribute : attributes) {
      if (attribute.name == "uuid") {
        library.uuid = ParseGuid(attribute.argument, attribute.line);
        hasUuid = true;
      } else if (attribute.name == "version") {
        ParseVersion(attribute, library);
      } else if (attribute.name == "lcid") {
        library.lcid = static_cast<uint32_t>(ParseInteger(attribute.argument, attribute.line));
      } else {
        throw Unsupported(attribute, "a library");
      }
    }
    if (!hasUuid) throw IdlError(line, "library '" + library.name + "' has no uuid");
    Expect('{');
    while (!IsPunct('}')) {
      if (IsIdentifier("importlib")) {
        ParseImportLib(library);
        continue;
      }
      std::vector<Attribute> entryAttributes = ParseAttributesIfAny();
      if (IsIdentifier("coclass")) {
        ParseCoclass(entryAttributes, library);
      } else if (IsIdentifier("interface")) {
        ParseInterface(entryAttributes, &library);
      } else {
        throw Unexpected("'importlib', 'coclass' or 'interface'");
      }
    }
    Advance();
    SkipOptionalSemicolon();
    file_.library = std::move(library);
  }

  static void ParseVersion(const Attribute& attribute, IdlLibrary& library) {
    const std::string& text = attribute.argument;
    const size_t dot = text.find('.');
    const std::string major = text.substr(0, dot);
    const std::string minor = dot == std::string::npos ? "0" : text.substr(dot + 1);
    const int64_t majorValue = ParseInteger(major, attribute.line);
    const int64_t minorValue = ParseInteger(minor, attribute.line);
    if (majorValue < 0 || majorValue > 0xFFFF || minorValue < 0 || minorValue > 0xFFFF) {
      throw IdlError(attribute.line, "version out of range");
    }
    library.majorVersion = static_cast<uint16_t>(majorValue);
    library.minorVersion = static_cast<uint16_t>(minorValue);
  }

  void ParseImportLib(IdlLibrary& library) {
    Advance();
    Expect('(');
    if (current_.kind != TokenKind::kString) throw Unexpected("a file name in quotes");
    if (current_.text != "stdole2.tlb") {
      throw IdlError(current_.line,
                     "importlib of '" + current_.text + "' is not supported (only stdole2.tlb)");
    }
    library.importedLibraries.push_back(current_.text);
    Advance();
    Expect(')');
    Expect(';');
  }

  Lexer lexer_;
  Token current_;
  IdlFile file_;
};

}  // namespace

IdlFile ReadIdl(std::string_view source) {
  Parser parser(source);
  IdlFile file = parser.ParseFile();
  if (!file.library) throw IdlError(1, "the file has no library block");
  return file;
}

}  // namespace glimmark::idl
