// `glimmark register [--user] [--unregister] [LIBRARY]`: the regsvr32 of this
// platform. Loads an in-process server library, calls its registration entry
// point and says what it did, or which step failed with its HRESULT.
#include <ole2.h>
#include <unistd.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/glimmark/command_line.h"
#include "tools/glimmark/subcommand.h"
#include "tools/glimmark/text_encoding.h"

namespace {

const std::vector<OptionSpec> kRegisterOptions = {
    {"user", nullptr, false, "register for the current user only (HKCU\\Software\\Classes)"},
    {"unregister", nullptr, false, "remove the registration instead"},
};

constexpr const char* kUsageTail =
    "LIBRARY defaults to the libglimmark.so installed with this tool (PREFIX/lib/glimmark/)\n"
    "or built beside it. The registry records its full path: register again after moving it.\n";

// The library built or installed with this tool: <build>/component/ from
// <build>/tools/glimmark/, or <prefix>/lib/glimmark/ from <prefix>/bin/ (the
// place the tool's RUNPATH names). Found from the tool's own path, so an
// installed tree may be moved as a whole.
std::string DefaultLibrary() {
  std::error_code error;
  const std::filesystem::path tool = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return std::string();
  const std::filesystem::path folder = tool.parent_path();
  for (const std::filesystem::path& candidate :
       {folder / "../../component/libglimmark.so", folder / "../lib/glimmark/libglimmark.so"}) {
    if (std::filesystem::exists(candidate, error)) {
      return std::filesystem::weakly_canonical(candidate, error).string();
    }
  }
  return std::string();
}

std::string Hex(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  return code;
}

using EntryPoint = HRESULT(STDAPICALLTYPE*)();
using InstallEntryPoint = HRESULT(STDAPICALLTYPE*)(BOOL, PCWSTR);

// Calls the entry point that does what the options ask; its result, or
// CO_E_ERRORINDLL when the library does not export it (named in `used`).
HRESULT CallEntryPoint(HMODULE library, bool perUser, bool unregister, std::string& used) {
  if (perUser) {
    used = "DllInstall";
    const auto install = reinterpret_cast<InstallEntryPoint>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, used.c_str())));
    return install == nullptr ? CO_E_ERRORINDLL : install(unregister ? FALSE : TRUE, u"user");
  }
  used = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  const auto entry = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void (*)()>(GetProcAddress(library, used.c_str())));
  return entry == nullptr ? CO_E_ERRORINDLL : entry();
}

}  // namespace

int RunRegisterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> options;
  std::string library;
  for (const std::string& arg : args) {
    if (arg.rfind("--", 0) == 0 || !library.empty()) {
      options.push_back(arg);
    } else {
      library = arg;
    }
  }
  ParsedOptions parsed;
  std::string error;
  if (!ParseOptions(options, kRegisterOptions, parsed, error)) {
    err << "glimmark register: " << error << "\n"
        << OptionsUsage("register", kRegisterOptions) << kUsageTail;
    return kExitUsage;
  }
  if (parsed.helpRequested) {
    out << OptionsUsage("register", kRegisterOptions) << kUsageTail;
    return kExitSuccess;
  }
  if (library.empty()) library = DefaultLibrary();
  std::u16string widePath;
  if (library.empty() || !Utf8ToUtf16(library, widePath)) {
    err << "glimmark register: no library given and none found beside the tool\n";
    return kExitUsage;
  }
  const bool perUser = parsed.flags.count("user") > 0;
  const bool unregister = parsed.flags.count("unregister") > 0;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const HMODULE module = LoadLibraryW(widePath.c_str());
  if (module == nullptr) {
    err << "glimmark register: cannot load " << library << " ("
        << Hex(HRESULT_FROM_WIN32(GetLastError())) << ")\n";
    CoUninitialize();
    return kExitFailure;
  }
  std::string used;
  const HRESULT hr = CallEntryPoint(module, perUser, unregister, used);
  FreeLibrary(module);
  CoUninitialize();
  if (FAILED(hr)) {
    err << "glimmark register: " << used << " of " << library << " failed (" << Hex(hr) << ")\n";
    return kExitFailure;
  }
  out << (unregister ? "unregistered " : "registered ") << library << " ("
      << (perUser ? "current user" : "machine") << ")\n";
  return kExitSuccess;
}
