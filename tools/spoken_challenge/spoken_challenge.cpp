#include "tools/spoken_challenge/spoken_challenge.h"

#include <algorithm>
#include <cmath>

#include "tools/spoken_challenge/resampler.h"
#include "tools/spoken_challenge/wav_file.h"

namespace {

constexpr float kFullScale = 32767.0F;

// A whole number in [low, high] from the system's random source.
int DrawBetween(int low, int high) {
  return low + static_cast<int>(randombytes_uniform(static_cast<uint32_t>(high - low + 1)));
}

size_t SamplesOf(int milliseconds) {
  return static_cast<size_t>(milliseconds) * kSpokenSampleRate / 1000;
}

// The engine's samples at kSpokenSampleRate, full scale 1.0. The engine's
// rate does not change, so its resampler is made once.
std::vector<float> AtSpokenRate(const std::vector<int16_t>& samples, int rate) {
  std::vector<float> input(samples.size());
  std::transform(samples.begin(), samples.end(), input.begin(),
                 [](int16_t s) { return static_cast<float>(s) / kFullScale; });
  static const Resampler fromEngine(rate, kSpokenSampleRate);
  if (fromEngine.FromRate() == rate) return fromEngine.Convert(input);
  return Resampler(rate, kSpokenSampleRate).Convert(input);
}

bool Speakable(const std::u16string& text) {
  if (text.empty() || text.size() > kMaxSpokenCharacters) return false;
  return std::all_of(text.begin(), text.end(), [](char16_t c) { return !SpokenName(c).empty(); });
}

// Scales `speech` so that its phrases have `speechRms`, lays noise under it
// and rounds to 16 bits, saturating.
std::vector<int16_t> Mix(std::vector<float> speech, const SpokenText& layout,
                         const MixLevels& levels, const NoiseSeed& seed) {
  double energy = 0;
  size_t voicedSamples = 0;
  for (const auto& [begin, end] : layout.characterSpans) {
    const double rms = RootMeanSquare(speech, begin, end);
    energy += rms * rms * double(end - begin);
    voicedSamples += end - begin;
  }
  const double speechRms = voicedSamples == 0 ? 0 : std::sqrt(energy / double(voicedSamples));
  const float gain = speechRms > 0 ? static_cast<float>(levels.speechRms / speechRms) : 0.0F;
  const std::vector<float> noise =
      BackgroundNoise(speech.size(), levels.noiseRms, kSpokenSampleRate, seed);
  std::vector<int16_t> mixed(speech.size());
  for (size_t i = 0; i < speech.size(); ++i) {
    const float value =
        std::clamp((speech[i] * gain + noise[i]) * kFullScale, -kFullScale - 1, kFullScale);
    mixed[i] = static_cast<int16_t>(std::lround(value));
  }
  return mixed;
}

}  // namespace

SpeechVariation DrawSpeechVariation(size_t characters) {
  SpeechVariation variation;
  variation.voice.variant = kVoiceVariants[randombytes_uniform(kVoiceVariants.size())];
  variation.voice.wordsPerMinute = DrawBetween(kMinWordsPerMinute, kMaxWordsPerMinute);
  variation.voice.pitch = DrawBetween(kMinPitch, kMaxPitch);
  variation.voice.pitchRange = DrawBetween(kMinPitchRange, kMaxPitchRange);
  for (size_t i = 0; i < characters; ++i) {
    variation.pitchSteps.push_back(DrawBetween(-kMaxPitchStep, kMaxPitchStep));
    variation.pausesMs.push_back(i == 0 ? DrawBetween(kMinLeadInMs, kMaxLeadInMs)
                                        : DrawBetween(kMinPauseMs, kMaxPauseMs));
  }
  randombytes_buf(variation.noiseSeed.data(), variation.noiseSeed.size());
  return variation;
}

std::string SpokenName(char16_t c) {
  if (c >= u'0' && c <= u'9') return std::string(1, static_cast<char>(c));
  if (c >= u'A' && c <= u'Z') return std::string("capital ") + static_cast<char>(c);
  if (c >= u'a' && c <= u'z') return std::string("small ") + static_cast<char>(c);
  return "";
}

bool SpeakText(const std::u16string& text, const SpeechVariation& variation,
               const MixLevels& levels, SpokenText& spoken) {
  if (!Speakable(text) || variation.pitchSteps.size() != text.size() ||
      variation.pausesMs.size() != text.size()) {
    return false;
  }
  std::vector<float> speech;
  SpokenText layout;
  for (size_t i = 0; i < text.size(); ++i) {
    VoiceSettings voice = variation.voice;
    voice.pitch += variation.pitchSteps[i];
    std::vector<int16_t> phrase;
    int rate = 0;
    if (!SpeakPhrase(SpokenName(text[i]), voice, phrase, rate)) return false;
    speech.resize(speech.size() + SamplesOf(std::max(variation.pausesMs[i], 0)), 0.0F);
    const std::vector<float> converted = AtSpokenRate(phrase, rate);
    layout.characterSpans.emplace_back(speech.size(), speech.size() + converted.size());
    speech.insert(speech.end(), converted.begin(), converted.end());
  }
  speech.resize(speech.size() + SamplesOf(kTrailMs), 0.0F);
  layout.samples = Mix(std::move(speech), layout, levels, variation.noiseSeed);
  spoken = std::move(layout);
  return true;
}

std::string SpokenChallengeWav(const std::u16string& text) {
  if (sodium_init() < 0) return "";
  SpokenText spoken;
  if (!SpeakText(text, DrawSpeechVariation(text.size()), MixLevels(), spoken)) return "";
  return WavFile(spoken.samples, kSpokenSampleRate);
}
