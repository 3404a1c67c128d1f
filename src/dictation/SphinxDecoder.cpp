#include "dictation/SphinxDecoder.h"

#include <QFileInfo>

#include <cmn.h>
#include <err.h>
#include <feat.h>
#include <pocketsphinx.h>

#include <type_traits>

#include <mutex>

namespace dictation {

QString SphinxModel::acousticModel() const { return directory + QStringLiteral("/en-us"); }
QString SphinxModel::languageModel() const { return directory + QStringLiteral("/en-us.lm.bin"); }
QString SphinxModel::dictionary() const { return directory + QStringLiteral("/cmudict-en-us.dict"); }

bool SphinxModel::isPresent() const
{
    return QFileInfo(acousticModel()).isDir() && QFileInfo(languageModel()).isFile()
           && QFileInfo(dictionary()).isFile();
}

SphinxModel SphinxModel::usEnglish()
{
    return {QStringLiteral("/usr/share/pocketsphinx/model/en-us")};
}

std::unique_ptr<SphinxDecoder> SphinxDecoder::load(const SphinxModel &model)
{
    // The library logs every step of its work to stderr by default.
    static std::once_flag quiet;
    std::call_once(quiet, [] { err_set_logfp(nullptr); });

    if (!model.isPresent())
        return nullptr;
    const QByteArray hmm = QFile::encodeName(model.acousticModel());
    const QByteArray lm = QFile::encodeName(model.languageModel());
    const QByteArray dict = QFile::encodeName(model.dictionary());
    cmd_ln_t *config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                                   "-dict", dict.constData(), nullptr);
    if (!config)
        return nullptr;
    ps_decoder_t *decoder = ps_init(config);
    if (!decoder) {
        cmd_ln_free_r(config);
        return nullptr;
    }
    std::unique_ptr<SphinxDecoder> loaded(new SphinxDecoder(config, decoder));
    static_assert(std::is_same_v<mfcc_t, float>);
    if (const feat_t *feat = ps_get_feat(decoder); feat && feat->cmn_struct) {
        const cmn_t *cmn = feat->cmn_struct;
        loaded->m_initialMean.assign(cmn->cmn_mean, cmn->cmn_mean + cmn->veclen);
    }
    return loaded;
}

void SphinxDecoder::restoreInitialNormalization()
{
    const feat_t *feat = ps_get_feat(m_decoder);
    if (m_inUtterance || m_initialMean.empty() || !feat || !feat->cmn_struct
        || feat->cmn_struct->veclen != int(m_initialMean.size()))
        return;
    cmn_live_set(feat->cmn_struct, m_initialMean.data());
}

SphinxDecoder::~SphinxDecoder()
{
    if (m_inUtterance)
        ps_end_utt(m_decoder);
    ps_free(m_decoder);
    cmd_ln_free_r(m_config);
}

bool SphinxDecoder::beginUtterance()
{
    if (m_inUtterance)
        ps_end_utt(m_decoder);
    m_inUtterance = ps_start_utt(m_decoder) >= 0;
    return m_inUtterance;
}

bool SphinxDecoder::process(const std::int16_t *samples, std::size_t count)
{
    if (!m_inUtterance)
        return false;
    return ps_process_raw(m_decoder, samples, count, FALSE, FALSE) >= 0;
}

bool SphinxDecoder::inSpeech() const
{
    return ps_get_in_speech(m_decoder) != 0;
}

QString SphinxDecoder::hypothesis() const
{
    const char *text = ps_get_hyp(m_decoder, nullptr);
    return text ? QString::fromUtf8(text) : QString();
}

QString SphinxDecoder::endUtterance()
{
    if (!m_inUtterance)
        return {};
    m_inUtterance = false;
    if (ps_end_utt(m_decoder) < 0)
        return {};
    return hypothesis();
}

} // namespace dictation
