#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

struct ps_decoder_s;
struct cmd_ln_s;

namespace dictation {

// Where the US English model lies.
struct SphinxModel {
    QString directory;

    QString acousticModel() const;
    QString languageModel() const;
    QString dictionary() const;
    bool isPresent() const;

    static SphinxModel usEnglish();
};

// One loaded decoder. Not thread-safe: used by one thread at a time.
class SphinxDecoder {
public:
    // Nothing when the model is missing or does not load.
    static std::unique_ptr<SphinxDecoder> load(const SphinxModel &model);
    ~SphinxDecoder();
    SphinxDecoder(const SphinxDecoder &) = delete;
    SphinxDecoder &operator=(const SphinxDecoder &) = delete;

    // Forgets how the audio of earlier sessions shifted the decoder's live
    // cepstral normalisation, so each session is heard the same way.
    void restoreInitialNormalization();
    bool beginUtterance();
    // 16 kHz mono 16-bit samples.
    bool process(const std::int16_t *samples, std::size_t count);
    // Whether the last processed audio held speech.
    bool inSpeech() const;
    QString hypothesis() const;
    // Ends the utterance and gives its final text.
    QString endUtterance();

private:
    SphinxDecoder(cmd_ln_s *config, ps_decoder_s *decoder) : m_config(config), m_decoder(decoder) {}

    cmd_ln_s *m_config;
    ps_decoder_s *m_decoder;
    std::vector<float> m_initialMean;
    bool m_inUtterance = false;
};

} // namespace dictation
