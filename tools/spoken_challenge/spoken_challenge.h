// A challenge text spoken one character at a time so that the exact answer
// can be typed: "capital R", "small r", digits as digits. Each character has
// a pause of its own before it and a step of pitch; the voice (espeak-ng
// variant, speed, pitch, intonation) is drawn per challenge; background noise
// at a set level lies under all of it. Every draw comes from the system's
// random source (libsodium), so two audios of one text differ and neither can
// be predicted. See speech_engine.h for how the engine is shared between
// threads, wav_file.h for the file.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/spoken_challenge/background_noise.h"
#include "tools/spoken_challenge/speech_engine.h"

constexpr int kSpokenSampleRate = 16000;  // what speech recognisers and telephones use
// Longest text spoken: a host text has 5 or 6 characters, and a long text
// would hold the one engine for seconds.
constexpr size_t kMaxSpokenCharacters = 16;

// Ranges of the draws. Speed and pauses are bounded so that a text of the
// host's lengths lasts 2 to 15 seconds whatever is drawn.
constexpr int kMinWordsPerMinute = 135;
constexpr int kMaxWordsPerMinute = 175;
constexpr int kMinPitch = 30;
constexpr int kMaxPitch = 70;
constexpr int kMinPitchRange = 20;
constexpr int kMaxPitchRange = 80;
constexpr int kMaxPitchStep = 10;  // each character's pitch moves by up to this either way
constexpr int kMinLeadInMs = 250;  // before the first character
constexpr int kMaxLeadInMs = 700;
constexpr int kMinPauseMs = 350;  // between characters: long enough to hear them apart
constexpr int kMaxPauseMs = 900;
constexpr int kTrailMs = 300;  // after the last character

// espeak-ng's variants of the English voice drawn from: the plain one, men's,
// a woman's and the Klatt synthesiser's. The breathy variants (f2..f5, m2)
// are left out: their sound runs to the end of the engine's last buffer,
// which cuts a phrase's tail.
constexpr std::array<std::string_view, 10> kVoiceVariants = {"",   "m1", "m3", "m4", "m5",
                                                             "m6", "m7", "m8", "f1", "klatt"};

// Levels, as root mean square of full scale: the speech (over its phrases)
// about -20 dBFS, the noise about -32 dBFS, 12 dB under it: plain to a
// listener, a burden to a recogniser.
constexpr float kSpeechRms = 0.1F;
constexpr float kNoiseRms = 0.025F;

struct SpeechVariation {
  VoiceSettings voice;          // the whole challenge's voice
  std::vector<int> pitchSteps;  // per character, added to voice.pitch
  std::vector<int> pausesMs;    // per character, silence before it (the first is the lead-in)
  NoiseSeed noiseSeed{};
};

struct MixLevels {
  float speechRms = kSpeechRms;
  float noiseRms = kNoiseRms;  // 0: no noise (tests look at the speech alone)
};

struct SpokenText {
  std::vector<int16_t> samples;  // mono, kSpokenSampleRate
  // Per character: the samples [first, second) its phrase occupies.
  std::vector<std::pair<size_t, size_t>> characterSpans;
};

// Fresh draws for a text of `characters` characters.
SpeechVariation DrawSpeechVariation(size_t characters);

// The words that say `c`: "capital R", "small r", "7"; empty for anything but
// an ASCII letter or digit.
std::string SpokenName(char16_t c);

// Speaks `text` with `variation` (one pitch step and pause per character) and
// mixes at `levels`. False when the text is empty, longer than
// kMaxSpokenCharacters or has a character SpokenName cannot say, when the
// variation does not match its length, or when the engine fails.
bool SpeakText(const std::u16string& text, const SpeechVariation& variation,
               const MixLevels& levels, SpokenText& spoken);

// The challenge as a WAV file (16 kHz, mono, 16-bit PCM) with fresh draws at
// the set levels; empty when SpeakText fails.
std::string SpokenChallengeWav(const std::u16string& text);
