#include "tools/spoken_challenge/speech_engine.h"

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <mutex>

namespace {

const char kLanguage[] = "en-us";
// Length of the pieces espeak-ng hands to the callback: short pieces only
// cost more calls, long ones more memory held at once.
constexpr int kCallbackBufferMs = 200;

// The engine's process-wide state, guarded by Engine::lock. `target` is where
// the callback appends while one synthesis runs.
struct Engine {
  std::mutex lock;
  int sampleRate = 0;  // 0 until started, -1 when it could not start
  std::vector<int16_t>* target = nullptr;
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

int AppendSamples(short* wave, int count, espeak_EVENT*) {
  std::vector<int16_t>* target = TheEngine().target;
  if (wave != nullptr && count > 0 && target != nullptr)
    target->insert(target->end(), wave, wave + count);
  return 0;  // go on
}

// Starts the engine once; called with the lock held. Without the DONT_EXIT
// option espeak-ng ends the process when its data is missing.
bool Started(Engine& engine) {
  if (engine.sampleRate == 0) {
    const int rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, kCallbackBufferMs, nullptr,
                                       espeakINITIALIZE_DONT_EXIT);
    engine.sampleRate = rate > 0 ? rate : -1;
    if (rate > 0) espeak_SetSynthCallback(AppendSamples);
  }
  return engine.sampleRate > 0;
}

bool ApplyVoice(const VoiceSettings& voice) {
  const std::string name =
      voice.variant.empty() ? kLanguage : std::string(kLanguage) + "+" + voice.variant;
  return espeak_SetVoiceByName(name.c_str()) == EE_OK &&
         espeak_SetParameter(
             espeakRATE, std::clamp(voice.wordsPerMinute, espeakRATE_MINIMUM, espeakRATE_MAXIMUM),
             0) == EE_OK &&
         espeak_SetParameter(espeakPITCH, std::clamp(voice.pitch, 0, 100), 0) == EE_OK &&
         espeak_SetParameter(espeakRANGE, std::clamp(voice.pitchRange, 0, 100), 0) == EE_OK;
}

}  // namespace

bool SpeakPhrase(const std::string& phrase, const VoiceSettings& voice,
                 std::vector<int16_t>& samples, int& sampleRate) {
  Engine& engine = TheEngine();
  const std::lock_guard<std::mutex> hold(engine.lock);
  if (!Started(engine) || !ApplyVoice(voice)) return false;
  std::vector<int16_t> spoken;
  engine.target = &spoken;
  const espeak_ERROR result = espeak_Synth(phrase.c_str(), phrase.size() + 1, 0, POS_CHARACTER, 0,
                                           espeakCHARS_UTF8, nullptr, nullptr);
  engine.target = nullptr;
  if (result != EE_OK || spoken.empty()) return false;
  samples.insert(samples.end(), spoken.begin(), spoken.end());
  sampleRate = engine.sampleRate;
  return true;
}
