// glimmark_typelib_compiler: the build's IDL-to-MSFT compiler.
//   glimmark_typelib_compiler INPUT.idl OUTPUT.tlb
// Reads the MIDL-compatible subset described in idl_reader.h and writes a
// type library in the binary format oleaut32 loads (msft_writer.h). Runs on
// the build machine; it needs neither Wine nor the platform library. Errors
// name the file and line and exit with status 1.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "idl_reader.h"
#include "msft_writer.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: " << argv[0] << " INPUT.idl OUTPUT.tlb\n";
    return 2;
  }
  std::ifstream input(argv[1], std::ios::binary);
  if (!input) {
    std::cerr << argv[1] << ": cannot open\n";
    return 1;
  }
  std::stringstream text;
  text << input.rdbuf();
  std::vector<uint8_t> library;
  try {
    library = glimmark::idl::WriteMsft(glimmark::idl::ReadIdl(text.str()));
  } catch (const glimmark::idl::IdlError& error) {
    std::cerr << argv[1] << ":" << error.what() << "\n";
    return 1;
  }
  std::ofstream output(argv[2], std::ios::binary | std::ios::trunc);
  output.write(reinterpret_cast<const char*>(library.data()),
               static_cast<std::streamsize>(library.size()));
  if (!output) {
    std::cerr << argv[2] << ": cannot write\n";
    return 1;
  }
  return 0;
}
