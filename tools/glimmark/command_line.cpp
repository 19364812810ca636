#include "tools/glimmark/command_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace {

constexpr const char* kBlanks = " \t";

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& spec : specs) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// The whole of a regular file of at most kMaxConfigFileBytes; false with the
// reason otherwise.
bool ReadSettingsFile(const std::string& path, std::string& text, std::string& error) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  struct stat status {};
  bool ok = fstat(file, &status) == 0 && S_ISREG(status.st_mode);
  if (!ok) error = "cannot read " + path + ": not a regular file";
  if (ok && status.st_size > static_cast<off_t>(kMaxConfigFileBytes)) {
    error = path + ": larger than " + std::to_string(kMaxConfigFileBytes / 1024) + " KiB";
    ok = false;
  }
  text.clear();
  char buffer[4096];
  while (ok && text.size() <= kMaxConfigFileBytes) {
    const ssize_t got = read(file, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = "cannot read " + path + ": " + std::strerror(errno);
      ok = false;
    }
    if (got <= 0) break;
    text.append(buffer, static_cast<size_t>(got));
  }
  close(file);
  return ok;
}

// A flag's value in a settings file.
bool ParseSwitch(const std::string& value, bool& on) {
  if (value != "true" && value != "false") return false;
  on = value == "true";
  return true;
}

}  // namespace

OptionSpec ConfigFileOption() {
  return {kConfigOptionName, "FILE", false,
          "read settings from FILE (\"name = value\" lines; the command line wins)"};
}

bool MergeSettingsText(const std::string& text, const std::string& fileName,
                       const std::vector<OptionSpec>& specs, ParsedOptions& parsed,
                       std::string& error) {
  std::map<std::string, size_t> firstLine;  // names set so far in this file
  size_t lineNumber = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;

    const std::string where = fileName + ":" + std::to_string(lineNumber) + ": ";
    const size_t equals = line.find('=');
    const std::string name = Trimmed(line.substr(0, equals));
    if (equals == std::string::npos || name.empty()) {
      error = where + "expected \"name = value\"";
      return false;
    }
    const std::string value = Trimmed(line.substr(equals + 1));
    const OptionSpec* spec = FindSpec(specs, name);
    if (spec == nullptr || name == kConfigOptionName) {
      error = where + "unknown setting '" + name + "'";
      if (name.rfind("--", 0) == 0) error += " (names are written without the dashes)";
      return false;
    }
    const auto seen = firstLine.find(name);
    if (seen != firstLine.end() && !spec->repeatable) {
      error =
          where + "'" + name + "' set twice (first on line " + std::to_string(seen->second) + ")";
      return false;
    }
    firstLine.emplace(name, lineNumber);
    bool on = false;
    if (spec->valueName == nullptr && !ParseSwitch(value, on)) {
      error = where + "'" + name + "' is a switch: true or false";
      return false;
    }
    if (spec->valueName != nullptr && value.empty()) {
      error = where + "'" + name + "' needs a value";
      return false;
    }
    // The command line wins; a repeatable setting may come on several lines.
    if (parsed.Has(name) && parsed.fromConfigFile.count(name) == 0) continue;
    if (spec->valueName == nullptr) {
      if (on) parsed.flags.insert(name);
    } else if (spec->repeatable) {
      parsed.lists[name].push_back(value);
    } else {
      parsed.values[name] = value;
    }
    parsed.fromConfigFile.insert(name);
  }
  return true;
}

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
  if (const auto config = parsed.values.find(kConfigOptionName); config != parsed.values.end()) {
    std::string text;
    if (!ReadSettingsFile(config->second, text, error)) return false;
    if (!MergeSettingsText(text, config->second, specs, parsed, error)) return false;
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
