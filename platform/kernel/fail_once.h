// FailOnce: the state of a test seam that makes the next call of something
// fail, once (a lock, a stream, a string, an error object that cannot be
// made). In builds without test seams it never fires and holds nothing, so
// the call sites read the same in every build.
#pragma once

#ifdef GLIMMARK_TEST_SEAMS
#include <atomic>
#endif  // GLIMMARK_TEST_SEAMS

namespace kernel {

#ifdef GLIMMARK_TEST_SEAMS
class FailOnce {
 public:
  // Called by the seam: the next Fires() answers true.
  void Arm() noexcept { armed_.store(true); }
  // True once after Arm(), and disarmed by answering.
  bool Fires() noexcept { return armed_.exchange(false); }

 private:
  std::atomic<bool> armed_{false};
};
#else
class FailOnce {
 public:
  constexpr bool Fires() const noexcept { return false; }
};
#endif  // GLIMMARK_TEST_SEAMS

}  // namespace kernel
