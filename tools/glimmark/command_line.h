// Option parsing shared by the glimmark subcommands: long options only,
// "--name value" or "--name=value", flags without values, "--help".
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct OptionSpec {
  const char* name;       // without the leading dashes
  const char* valueName;  // shown in the usage; null for a flag
  bool required;
  std::string help;
  bool repeatable = false;  // may be given more than once; values in `lists`
};

struct ParsedOptions {
  std::map<std::string, std::string> values;
  std::map<std::string, std::vector<std::string>> lists;  // repeatable options, in order
  std::set<std::string> flags;
  bool helpRequested = false;

  bool Has(const std::string& name) const {
    return values.count(name) || lists.count(name) || flags.count(name);
  }
};

// Parses `args` against `specs`. Returns false with a one-line message in
// `error` for an unknown, valueless or repeated (unless repeatable) option, a stray argument or
// a missing required option. "--help" anywhere succeeds with helpRequested.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                  ParsedOptions& parsed, std::string& error);

// The usage text of a subcommand: a synopsis line and one line per option.
std::string OptionsUsage(const std::string& command, const std::vector<OptionSpec>& specs);
