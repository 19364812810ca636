// Option parsing shared by the glimmark subcommands: long options only,
// "--name value" or "--name=value", flags without values, "--help", and, for
// a subcommand that lists the option "config", settings read from a file.
//
// A settings file holds one "name = value" per line, the names being the
// subcommand's long options without their dashes; blank lines and lines whose
// first non-blank character is '#' are skipped. A flag is written
// "name = true" (or false). Whatever the command line gives wins over the
// file. The file is checked as strictly as the command line: an unknown name,
// a line without '=', a name given twice or a missing value is an error that
// names the file and the line (never the value: files hold passwords).
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
  std::set<std::string> fromConfigFile;  // names whose value came from --config's file
  bool helpRequested = false;

  bool Has(const std::string& name) const {
    return values.count(name) || lists.count(name) || flags.count(name);
  }
};

// The option that names a settings file; a subcommand lists it among its
// specs to accept one.
constexpr const char* kConfigOptionName = "config";
OptionSpec ConfigFileOption();

// Longest settings file read: far more than any set of options needs, small
// enough that a wrong path (a log, a device) is refused rather than read.
constexpr size_t kMaxConfigFileBytes = 64 * 1024;

// Parses `args` against `specs`, then the settings file named by --config
// when `specs` lists that option. Returns false with a one-line message in
// `error` for an unknown, valueless or repeated (unless repeatable) option,
// a stray argument, a missing required option or a bad settings file. "--help" anywhere succeeds
// with helpRequested.
bool ParseOptions(const std::vector<std::string>& args, const std::vector<OptionSpec>& specs,
                  ParsedOptions& parsed, std::string& error);

// Adds the settings of `text` (the content of the file `fileName`, which
// only appears in messages) to `parsed`, leaving every option it already
// holds as it is. False with "FILE:LINE: reason" in `error`.
bool MergeSettingsText(const std::string& text, const std::string& fileName,
                       const std::vector<OptionSpec>& specs, ParsedOptions& parsed,
                       std::string& error);

// The usage text of a subcommand: a synopsis line and one line per option.
std::string OptionsUsage(const std::string& command, const std::vector<OptionSpec>& specs);
