// Spoken challenges per second: one WAV of a six-character text (the host's
// longest), made whole (draws, speech, resampling, noise, file), on one
// thread and on several at once. espeak-ng is one engine behind one lock, so
// more threads add throughput only for the parts outside it.
#include "tools/spoken_challenge/spoken_challenge.h"

#include <benchmark/benchmark.h>

namespace {

void BM_SpokenChallengeWav(benchmark::State& state) {
  size_t bytes = 0;
  for (auto _ : state) {
    const std::string wav = SpokenChallengeWav(u"Rk4mPw");
    if (wav.empty()) state.SkipWithError("no audio: espeak-ng data missing?");
    bytes = wav.size();
    benchmark::DoNotOptimize(wav.data());
  }
  state.counters["audios/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes"] = benchmark::Counter(double(bytes), benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_SpokenChallengeWav)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Threads(1)
    ->Threads(2)
    ->Threads(4);

// The part under the lock alone: one phrase.
void BM_SpeakPhrase(benchmark::State& state) {
  VoiceSettings voice;
  for (auto _ : state) {
    std::vector<int16_t> samples;
    int rate = 0;
    if (!SpeakPhrase("capital W", voice, samples, rate)) state.SkipWithError("engine failed");
    benchmark::DoNotOptimize(samples.data());
  }
}
BENCHMARK(BM_SpeakPhrase)->Unit(benchmark::kMillisecond);

}  // namespace
