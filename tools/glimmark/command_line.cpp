#include "tools/glimmark/command_line.h"

#include <algorithm>

namespace {

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& spec : specs) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

}  // namespace

bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                  ParsedOptions& parsed, std::string& error) {
  parsed = ParsedOptions();
  if (std::find(args.begin(), args.end(), "--help") != args.end()) {
    parsed.helpRequested = true;
    return true;
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0 || arg.size() == 2) {
      error = "unexpected argument '" + arg + "'";
      return false;
    }
    const size_t equals = arg.find('=');
    const std::string name = arg.substr(2, equals == std::string::npos ? equals : equals - 2);
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr) {
      error = "unknown option '--" + name + "'";
      return false;
    }
    if (parsed.Has(name) && !spec->repeatable) {
      error = "option '--" + name + "' given twice";
      return false;
    }
    if (spec->valueName == nullptr) {
      if (equals != std::string::npos) {
        error = "option '--" + name + "' takes no value";
        return false;
      }
      parsed.flags.insert(name);
    } else if (equals == std::string::npos && i + 1 >= args.size()) {
      error = "option '--" + name + "' needs a value";
      return false;
    } else {
      std::string value = equals != std::string::npos ? arg.substr(equals + 1) : args[++i];
      if (spec->repeatable) {
        parsed.lists[name].push_back(std::move(value));
      } else {
        parsed.values[name] = std::move(value);
      }
    }
  }
  for (const OptionSpec& spec : specs) {
    if (spec.required && !parsed.Has(spec.name)) {
      error = std::string("missing option '--") + spec.name + "'";
      return false;
    }
  }
  return true;
}

std::string OptionsUsage(const std::string& command, const std::vector<OptionSpec>& specs) {
  std::string synopsis = "usage: glimmark " + command;
  std::string details;
  for (const OptionSpec& spec : specs) {
    std::string option = std::string("--") + spec.name;
    if (spec.valueName != nullptr) option += std::string(" ") + spec.valueName;
    const std::string repeat = spec.repeatable ? "..." : "";
    synopsis += spec.required ? " " + option + repeat : " [" + option + "]" + repeat;
    details += "  " + option + std::string(option.size() < 22 ? 22 - option.size() : 1, ' ') +
               spec.help + "\n";
  }
  return synopsis + "\n\n" + details;
}
