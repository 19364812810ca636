// The process's one espeak-ng speech engine. espeak-ng keeps its voice, its
// parameters and its output callback in process-wide state, so every use goes
// through SpeakPhrase, which holds one process-wide lock for the whole of a
// synthesis: calls from several threads take turns. The engine starts on
// first use and stays for the life of the process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How one phrase is spoken. Values outside espeak-ng's ranges are clamped.
struct VoiceSettings {
  std::string variant;       // espeak-ng voice variant ("m3", "f2", ...); empty: the plain voice
  int wordsPerMinute = 160;  // speaking speed, 80..450
  int pitch = 50;            // base pitch, 0..100
  int pitchRange = 50;       // intonation, 0 (monotone)..100
};

// Speaks `phrase` (ASCII words, read as US English) with `voice` and appends
// the 16-bit mono samples to `samples`; `sampleRate` receives their rate
// (22,050 Hz with the voices Debian ships). False, with nothing appended, when
// the engine cannot start (voice data missing) or the synthesis fails.
bool SpeakPhrase(const std::string& phrase, const VoiceSettings& voice,
                 std::vector<int16_t>& samples, int& sampleRate);
