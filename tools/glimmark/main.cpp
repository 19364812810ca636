// Entry point of the glimmark tool: picks the subcommand by name from the
// table below and hands it the remaining arguments.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "glimmark_version.h"
#include "tools/glimmark/subcommand.h"

namespace {

const Subcommand kSubcommands[] = {
    {"image", "make a captcha picture and print its text (and token)", RunImageCommand},
    {"token", "print a token of a text, stamped with the current time", RunTokenCommand},
    {"verify", "restore the text and age (seconds) from a token", RunVerifyCommand},
    {"serve", "run the page host: a challenge form over HTTP", RunServeCommand},
    {"register", "register an in-process server library (or --unregister it)", RunRegisterCommand},
};

void PrintOverview(std::ostream& stream) {
  stream << "usage: glimmark <command> [options]\n"
            "       glimmark <command> --help\n"
            "       glimmark --version\n\ncommands:\n";
  for (const Subcommand& command : kSubcommands) {
    stream << "  " << command.name << std::string(10 - std::strlen(command.name), ' ')
           << command.summary << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintOverview(std::cerr);
    return kExitUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintOverview(std::cout);
    return kExitSuccess;
  }
  if (name == "--version") {
    std::cout << "glimmark " << GLIMMARK_VERSION_STRING << "\n";
    return kExitSuccess;
  }
  for (const Subcommand& command : kSubcommands) {
    if (name == command.name) {
      return command.run(std::vector<std::string>(argv + 2, argv + argc), std::cout, std::cerr);
    }
  }
  std::cerr << "glimmark: unknown command '" << name << "'\n\n";
  PrintOverview(std::cerr);
  return kExitUsage;
}
