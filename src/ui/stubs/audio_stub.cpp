// Stand-in for the audio stream while it is not built: no device exists.
#include "audio/audio_stream.h"

namespace tessivox {

bool openAudioStream(SynthState& s, const AudioErrorReporter& report) {
    s.audioError = paInvalidDevice;
    report("Invalid device");
    return false;
}
void startAudioStream(SynthState&) {}
void shutDownAudio(SynthState&, const std::function<void()>&) {}

}  // namespace tessivox
