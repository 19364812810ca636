// The spoken challenge: the WAV file as a player reads it, the lengths a
// visitor hears, every character spoken in its own stretch of sound, the
// noise at its level, the resampler's band, and the one engine shared by
// threads.
#include "tools/spoken_challenge/spoken_challenge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <thread>

#include "tools/spoken_challenge/resampler.h"
#include "tools/spoken_challenge/wav_file.h"

namespace {

// The characters a host text is drawn from, and the host's lengths.
const std::u16string kAlphabet = u"ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnpqrstuvwxyz123456789";
constexpr size_t kHostMinLength = 5;
constexpr size_t kHostMaxLength = 6;

// A WAV file read back field by field, independently of the writer.
struct ReadWav {
  std::string riff, wave, fmt, data;
  uint32_t riffSize = 0, fmtSize = 0, sampleRate = 0, byteRate = 0, dataSize = 0;
  uint16_t format = 0, channels = 0, blockAlign = 0, bits = 0;
  std::vector<int16_t> samples;
};

uint32_t Little(const std::string& file, size_t at, int bytes) {
  uint32_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | static_cast<unsigned char>(file[at + i]);
  return value;
}

ReadWav Read(const std::string& file) {
  ReadWav wav;
  if (file.size() < 44) return wav;
  wav.riff = file.substr(0, 4);
  wav.riffSize = Little(file, 4, 4);
  wav.wave = file.substr(8, 4);
  wav.fmt = file.substr(12, 4);
  wav.fmtSize = Little(file, 16, 4);
  wav.format = static_cast<uint16_t>(Little(file, 20, 2));
  wav.channels = static_cast<uint16_t>(Little(file, 22, 2));
  wav.sampleRate = Little(file, 24, 4);
  wav.byteRate = Little(file, 28, 4);
  wav.blockAlign = static_cast<uint16_t>(Little(file, 32, 2));
  wav.bits = static_cast<uint16_t>(Little(file, 34, 2));
  wav.data = file.substr(36, 4);
  wav.dataSize = Little(file, 40, 4);
  for (size_t at = 44; at + 1 < file.size(); at += 2)
    wav.samples.push_back(static_cast<int16_t>(Little(file, at, 2)));
  return wav;
}

void ExpectPlayable(const std::string& file) {
  const ReadWav wav = Read(file);
  EXPECT_EQ(wav.riff, "RIFF");
  EXPECT_EQ(wav.wave, "WAVE");
  EXPECT_EQ(wav.fmt, "fmt ");
  EXPECT_EQ(wav.data, "data");
  EXPECT_EQ(wav.riffSize, file.size() - 8);
  EXPECT_EQ(wav.dataSize, file.size() - kWavHeaderBytes);
  EXPECT_EQ(wav.fmtSize, 16U);
  EXPECT_EQ(wav.format, 1);  // PCM
  EXPECT_EQ(wav.channels, 1);
  EXPECT_EQ(wav.sampleRate, 16000U);
  EXPECT_EQ(wav.byteRate, 32000U);
  EXPECT_EQ(wav.blockAlign, 2);
  EXPECT_EQ(wav.bits, 16);
}

double Seconds(size_t samples) { return double(samples) / kSpokenSampleRate; }

std::vector<float> AsFloat(const std::vector<int16_t>& samples, size_t begin, size_t end) {
  std::vector<float> out;
  for (size_t i = begin; i < end; ++i) out.push_back(samples[i] / 32767.0F);
  return out;
}

// Stretches of sound in noise-free audio: 10 ms frames above a level, with
// gaps under 200 ms (inside a phrase: between "capital" and its letter)
// closed and blips under 50 ms dropped. Pauses between characters are longer.
constexpr size_t kFrame = kSpokenSampleRate / 100;
constexpr size_t kLongestGap = 20;    // frames
constexpr size_t kShortestSound = 5;  // frames
constexpr double kSoundLevel = 0.01;

std::vector<std::pair<size_t, size_t>> VoicedStretches(const std::vector<int16_t>& samples) {
  std::vector<std::pair<size_t, size_t>> stretches;  // in frames
  for (size_t frame = 0; (frame + 1) * kFrame <= samples.size(); ++frame) {
    const std::vector<float> part = AsFloat(samples, frame * kFrame, (frame + 1) * kFrame);
    if (RootMeanSquare(part, 0, part.size()) < kSoundLevel) continue;
    if (!stretches.empty() && frame - stretches.back().second <= kLongestGap) {
      stretches.back().second = frame + 1;
    } else {
      stretches.emplace_back(frame, frame + 1);
    }
  }
  std::erase_if(stretches, [](const auto& s) { return s.second - s.first < kShortestSound; });
  for (auto& [begin, end] : stretches) begin *= kFrame, end *= kFrame;
  return stretches;
}

std::u16string RandomHostText() {
  std::u16string text;
  const size_t length = kHostMinLength + randombytes_uniform(kHostMaxLength - kHostMinLength + 1);
  for (size_t i = 0; i < length; ++i)
    text.push_back(kAlphabet[randombytes_uniform(kAlphabet.size())]);
  return text;
}

// Speaks `text` without noise and checks that each character's phrase is one
// stretch of sound, in order.
void ExpectEachCharacterHeard(const std::u16string& text, const SpeechVariation& variation) {
  SpokenText spoken;
  ASSERT_TRUE(SpeakText(text, variation, MixLevels{kSpeechRms, 0}, spoken));
  ASSERT_EQ(spoken.characterSpans.size(), text.size());
  const auto stretches = VoicedStretches(spoken.samples);
  ASSERT_EQ(stretches.size(), text.size()) << "characters heard apart";
  for (size_t i = 0; i < text.size(); ++i) {
    EXPECT_GE(stretches[i].first + kSpokenSampleRate / 100, spoken.characterSpans[i].first) << i;
    EXPECT_LE(stretches[i].second, spoken.characterSpans[i].second + kSpokenSampleRate / 100) << i;
  }
}

// Draws with the voice's speed and the pauses set; the plain voice.
SpeechVariation Extreme(size_t length, int wordsPerMinute, int leadInMs, int pauseMs) {
  SpeechVariation variation = DrawSpeechVariation(length);
  variation.voice.variant = "";
  variation.voice.wordsPerMinute = wordsPerMinute;
  variation.pausesMs.assign(length, pauseMs);
  variation.pausesMs[0] = leadInMs;
  return variation;
}

TEST(WavFile, HeaderAgreesWithTheSamples) {
  for (size_t count : {0, 1, 7, 16000}) {
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = static_cast<int16_t>(i * 2654435761U);
    const std::string file = WavFile(samples, kSpokenSampleRate);
    ASSERT_EQ(file.size(), kWavHeaderBytes + 2 * count);
    ExpectPlayable(file);
    EXPECT_EQ(Read(file).samples, samples) << "little-endian, in order";
  }
}

TEST(SpokenChallenge, HostTextsMakePlayableFilesOfTwoToFifteenSeconds) {
  for (int round = 0; round < 6; ++round) {
    const std::u16string text = RandomHostText();
    const std::string file = SpokenChallengeWav(text);
    ASSERT_FALSE(file.empty());
    ExpectPlayable(file);
    const double seconds = Seconds(Read(file).samples.size());
    EXPECT_GE(seconds, 2.0);
    EXPECT_LE(seconds, 15.0);
  }
}

TEST(SpokenChallenge, LengthStaysInBoundsAtTheExtremesOfTheDraws) {
  // The longest phrase (a capital letter) in the slowest variant at the
  // slowest speed, with the longest pauses ...
  size_t longest = 0;
  std::u16string slowestText;
  SpeechVariation slowest;
  for (char16_t letter = u'A'; letter <= u'Z'; ++letter) {
    for (std::string_view variant : kVoiceVariants) {
      if (letter != u'W' && !variant.empty()) continue;  // variants: for the longest letter only
      SpeechVariation one = Extreme(1, kMinWordsPerMinute, 0, 0);
      one.voice.variant = variant;
      SpokenText spoken;
      ASSERT_TRUE(SpeakText(std::u16string(1, letter), one, {}, spoken));
      if (spoken.samples.size() <= longest) continue;
      longest = spoken.samples.size();
      slowestText.assign(kHostMaxLength, letter);
      slowest = Extreme(kHostMaxLength, kMinWordsPerMinute, kMaxLeadInMs, kMaxPauseMs);
      slowest.voice.variant = variant;
    }
  }
  SpokenText spoken;
  ASSERT_TRUE(SpeakText(slowestText, slowest, {}, spoken));
  EXPECT_LE(Seconds(spoken.samples.size()), 15.0) << "six of '" << char(slowestText[0]) << "'";
  // ... and the shortest at the fastest with the shortest.
  const std::u16string shortText(kHostMinLength, u'1');
  ASSERT_TRUE(SpeakText(shortText,
                        Extreme(kHostMinLength, kMaxWordsPerMinute, kMinLeadInMs, kMinPauseMs), {},
                        spoken));
  EXPECT_GE(Seconds(spoken.samples.size()), 2.0);
}

TEST(SpokenChallenge, EveryCharacterIsSpokenInItsOwnStretch) {
  // Every character of the alphabet, in texts of the host's lengths.
  for (size_t at = 0; at < kAlphabet.size(); at += kHostMaxLength) {
    const std::u16string text = kAlphabet.substr(at, kHostMaxLength);
    ExpectEachCharacterHeard(text, DrawSpeechVariation(text.size()));
  }
  // Repeated characters stay apart even at the shortest pauses.
  ExpectEachCharacterHeard(u"aaaaa", Extreme(5, kMaxWordsPerMinute, kMinLeadInMs, kMinPauseMs));
  ExpectEachCharacterHeard(u"77777", Extreme(5, kMaxWordsPerMinute, kMinLeadInMs, kMinPauseMs));
}

TEST(SpokenChallenge, CaseIsSaid) {
  EXPECT_EQ(SpokenName(u'R'), "capital R");
  EXPECT_EQ(SpokenName(u'r'), "small r");
  EXPECT_EQ(SpokenName(u'7'), "7");
  // "capital R" and "small r" take longer to say than the letter alone would:
  // the case word is in the audio, not only in the text handed over.
  const SpeechVariation variation = Extreme(1, kMaxWordsPerMinute, 0, 0);
  SpokenText upper, digit;
  ASSERT_TRUE(SpeakText(u"R", variation, MixLevels{kSpeechRms, 0}, upper));
  ASSERT_TRUE(SpeakText(u"7", variation, MixLevels{kSpeechRms, 0}, digit));
  const auto phrase = [](const SpokenText& spoken) {
    return spoken.characterSpans[0].second - spoken.characterSpans[0].first;
  };
  EXPECT_GT(phrase(upper), phrase(digit) * 3 / 2);
}

TEST(SpokenChallenge, SpeechAndNoiseSitAtTheirLevels) {
  const std::u16string text = u"Rk4mP";
  const SpeechVariation variation = DrawSpeechVariation(text.size());
  SpokenText quiet, noisy;
  ASSERT_TRUE(SpeakText(text, variation, MixLevels{kSpeechRms, 0}, quiet));
  ASSERT_TRUE(SpeakText(text, variation, MixLevels{}, noisy));
  double speechEnergy = 0;
  size_t speechSamples = 0;
  for (const auto& [begin, end] : quiet.characterSpans) {
    const double rms = RootMeanSquare(AsFloat(quiet.samples, begin, end), 0, end - begin);
    speechEnergy += rms * rms * double(end - begin);
    speechSamples += end - begin;
  }
  EXPECT_NEAR(std::sqrt(speechEnergy / double(speechSamples)), kSpeechRms, kSpeechRms * 0.02);
  // Before the first character there is noise alone, at its level (±1 dB).
  const size_t leadIn = noisy.characterSpans[0].first;
  ASSERT_EQ(leadIn, quiet.characterSpans[0].first) << "the same draws, the same lead-in";
  ASSERT_GT(leadIn, size_t{kSpokenSampleRate / 10});
  const double noiseRms = RootMeanSquare(AsFloat(noisy.samples, 0, leadIn), 0, leadIn);
  EXPECT_GT(20 * std::log10(noiseRms / kNoiseRms), -1.0);
  EXPECT_LT(20 * std::log10(noiseRms / kNoiseRms), 1.0);
  // Without noise, silence is silence.
  EXPECT_EQ(RootMeanSquare(AsFloat(quiet.samples, 0, leadIn), 0, leadIn), 0.0);
}

TEST(SpokenChallenge, TwoAudiosOfOneTextDiffer) {
  const std::string first = SpokenChallengeWav(u"abc12");
  const std::string second = SpokenChallengeWav(u"abc12");
  ASSERT_FALSE(first.empty());
  EXPECT_NE(first, second);
}

TEST(SpokenChallenge, RefusesWhatItCannotSay) {
  for (const std::u16string& text :
       {std::u16string(), std::u16string(u"ab-c"), std::u16string(u"a b"),
        std::u16string(u"caf\u00e9"), std::u16string(kMaxSpokenCharacters + 1, u'a')}) {
    EXPECT_TRUE(SpokenChallengeWav(text).empty()) << text.size();
  }
  SpokenText spoken;
  EXPECT_FALSE(SpeakText(u"abc", DrawSpeechVariation(2), {}, spoken)) << "variation too short";
  EXPECT_FALSE(SpokenChallengeWav(std::u16string(kMaxSpokenCharacters, u'a')).empty());
}

TEST(SpokenChallenge, ThreadsShareTheOneEngine) {
  constexpr int kThreads = 4;
  constexpr int kAudiosEach = 3;
  std::vector<std::u16string> texts(kThreads * kAudiosEach);
  for (auto& text : texts) text = RandomHostText();
  std::vector<SpokenText> spoken(texts.size());
  std::vector<SpeechVariation> variations;
  for (const auto& text : texts) variations.push_back(DrawSpeechVariation(text.size()));
  std::vector<int> succeeded(texts.size(), 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = t * kAudiosEach; i < (t + 1) * kAudiosEach; ++i)
        succeeded[i] = SpeakText(texts[i], variations[i], MixLevels{kSpeechRms, 0}, spoken[i]);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t i = 0; i < texts.size(); ++i) {
    ASSERT_TRUE(succeeded[i]) << i;
    // Each call got its own text's phrases, each whole: one stretch of sound
    // per character, and about the length the same draws give alone on this
    // thread (espeak-ng's output varies by up to 2 % with the voice spoken
    // before; a phrase lost or taken from another call is 10 % or more).
    EXPECT_EQ(VoicedStretches(spoken[i].samples).size(), texts[i].size()) << i;
    SpokenText alone;
    ASSERT_TRUE(SpeakText(texts[i], variations[i], MixLevels{kSpeechRms, 0}, alone));
    EXPECT_NEAR(double(spoken[i].samples.size()), double(alone.samples.size()),
                0.05 * double(alone.samples.size()))
        << i;
  }
}

double SineRms(double hertz, int fromRate, int toRate) {
  std::vector<float> sine(fromRate);  // one second
  for (size_t i = 0; i < sine.size(); ++i)
    sine[i] =
        static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * hertz * double(i) / fromRate));
  const std::vector<float> out = Resampler(fromRate, toRate).Convert(sine);
  EXPECT_EQ(out.size(), size_t(toRate));
  return RootMeanSquare(out, out.size() / 4, out.size() * 3 / 4);  // away from the edges
}

TEST(Resampler, KeepsTheSpeechBandAndDropsWhatWouldFoldBack) {
  const double sineRms = 0.5 / std::sqrt(2.0);
  EXPECT_NEAR(SineRms(1000, 22050, 16000), sineRms, sineRms * 0.01);
  EXPECT_NEAR(SineRms(5000, 22050, 16000), sineRms, sineRms * 0.02);
  EXPECT_LT(SineRms(10000, 22050, 16000), sineRms * 0.01) << "above 8 kHz must not alias";
  const std::vector<float> constant(1000, 0.25F);
  const std::vector<float> out = Resampler(22050, 16000).Convert(constant);
  for (size_t i = 20; i + 20 < out.size(); ++i) ASSERT_NEAR(out[i], 0.25F, 1e-5F) << i;
}

}  // namespace
