// The subcommands of the glimmark tool. main.cpp keeps the table of them; each
// lives in its own file and owns its options, output and exit code. A new
// subcommand is one function declared here and one line in that table.
#pragma once

#include <ostream>
#include <string>
#include <vector>

// Exit codes shared by every subcommand.
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // the component refused or failed
constexpr int kExitUsage = 2;    // bad command line

// A subcommand receives the arguments after its name (UTF-8) and writes its
// results to `out`, messages to `err`; it returns the process exit code.
using SubcommandFunction = int (*)(const std::vector<std::string>& args, std::ostream& out,
                                   std::ostream& err);

struct Subcommand {
  const char* name;
  const char* summary;  // one line for `glimmark --help`
  SubcommandFunction run;
};

// token_commands.cpp
int RunTokenCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int RunVerifyCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// register_command.cpp
int RunRegisterCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// image_command.cpp
int RunImageCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// serve_command.cpp
int RunServeCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
