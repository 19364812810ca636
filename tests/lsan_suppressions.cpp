// Hands LeakSanitizer the project's suppressions (tests/lsan.supp) for each test
// program: leaks inside system libraries that no caller can free.
#include <cstdio>

extern "C" const char* __lsan_default_suppressions() {
  static char rules[4096];
  if (FILE* file = std::fopen(GLIMMARK_SOURCE_DIR "/tests/lsan.supp", "r")) {
    rules[std::fread(rules, 1, sizeof rules - 1, file)] = '\0';
    std::fclose(file);
  }
  return rules;
}
