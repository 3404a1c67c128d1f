#include "dictation/SphinxDecoder.h"

#include "platform/LibrarySymbols.h"

#include <QFileInfo>

#include <cmn.h>
#include <err.h>
#include <feat.h>
#include <pocketsphinx.h>

#include <type_traits>

namespace dictation {

namespace {

// PocketSphinx is opened when dictation first needs it: linked, it and its
// numeric libraries (BLAS, LAPACK, the Fortran runtime) were loaded and
// bound at every start.
struct Sphinx {
    bool loaded = false;
#define MOONSHELF_SPHINX_FUNCTION(name) decltype(&::name) name = nullptr;
    MOONSHELF_SPHINX_FUNCTION(err_set_logfp)
    MOONSHELF_SPHINX_FUNCTION(cmd_ln_init)
    MOONSHELF_SPHINX_FUNCTION(cmd_ln_free_r)
    MOONSHELF_SPHINX_FUNCTION(cmn_live_set)
    MOONSHELF_SPHINX_FUNCTION(ps_args)
    MOONSHELF_SPHINX_FUNCTION(ps_init)
    MOONSHELF_SPHINX_FUNCTION(ps_free)
    MOONSHELF_SPHINX_FUNCTION(ps_get_feat)
    MOONSHELF_SPHINX_FUNCTION(ps_start_utt)
    MOONSHELF_SPHINX_FUNCTION(ps_process_raw)
    MOONSHELF_SPHINX_FUNCTION(ps_get_in_speech)
    MOONSHELF_SPHINX_FUNCTION(ps_get_hyp)
    MOONSHELF_SPHINX_FUNCTION(ps_end_utt)
#undef MOONSHELF_SPHINX_FUNCTION
};

// Opened once per process and never closed; without the libraries no
// decoder loads, as without the model.
const Sphinx &sphinx()
{
    static const Sphinx loaded = [] {
        Sphinx s;
        QLibrary base(QStringLiteral("sphinxbase"), 3);
        QLibrary pocket(QStringLiteral("pocketsphinx"), 3);
        if (!base.load() || !pocket.load())
            return s;
        platform::LibrarySymbols symbols(base);
        symbols.resolve(s.err_set_logfp, "err_set_logfp");
        symbols.resolve(s.cmd_ln_init, "cmd_ln_init");
        symbols.resolve(s.cmd_ln_free_r, "cmd_ln_free_r");
        symbols.resolve(s.cmn_live_set, "cmn_live_set");
        symbols.from(pocket);
        symbols.resolve(s.ps_args, "ps_args");
        symbols.resolve(s.ps_init, "ps_init");
        symbols.resolve(s.ps_free, "ps_free");
        symbols.resolve(s.ps_get_feat, "ps_get_feat");
        symbols.resolve(s.ps_start_utt, "ps_start_utt");
        symbols.resolve(s.ps_process_raw, "ps_process_raw");
        symbols.resolve(s.ps_get_in_speech, "ps_get_in_speech");
        symbols.resolve(s.ps_get_hyp, "ps_get_hyp");
        symbols.resolve(s.ps_end_utt, "ps_end_utt");
        if (!symbols.all())
            return s;
        // The library logs every step of its work to stderr by default.
        s.err_set_logfp(nullptr);
        s.loaded = true;
        return s;
    }();
    return loaded;
}

} // namespace

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
    if (!model.isPresent())
        return nullptr;
    const Sphinx &sp = sphinx();
    if (!sp.loaded)
        return nullptr;
    const QByteArray hmm = QFile::encodeName(model.acousticModel());
    const QByteArray lm = QFile::encodeName(model.languageModel());
    const QByteArray dict = QFile::encodeName(model.dictionary());
    cmd_ln_t *config = sp.cmd_ln_init(nullptr, sp.ps_args(), TRUE, "-hmm", hmm.constData(), "-lm", lm.constData(),
                                   "-dict", dict.constData(), nullptr);
    if (!config)
        return nullptr;
    ps_decoder_t *decoder = sp.ps_init(config);
    if (!decoder) {
        sp.cmd_ln_free_r(config);
        return nullptr;
    }
    std::unique_ptr<SphinxDecoder> loaded(new SphinxDecoder(config, decoder));
    static_assert(std::is_same_v<mfcc_t, float>);
    if (const feat_t *feat = sp.ps_get_feat(decoder); feat && feat->cmn_struct) {
        const cmn_t *cmn = feat->cmn_struct;
        loaded->m_initialMean.assign(cmn->cmn_mean, cmn->cmn_mean + cmn->veclen);
    }
    return loaded;
}

void SphinxDecoder::restoreInitialNormalization()
{
    const feat_t *feat = sphinx().ps_get_feat(m_decoder);
    if (m_inUtterance || m_initialMean.empty() || !feat || !feat->cmn_struct
        || feat->cmn_struct->veclen != int(m_initialMean.size()))
        return;
    sphinx().cmn_live_set(feat->cmn_struct, m_initialMean.data());
}

SphinxDecoder::~SphinxDecoder()
{
    if (m_inUtterance)
        sphinx().ps_end_utt(m_decoder);
    sphinx().ps_free(m_decoder);
    sphinx().cmd_ln_free_r(m_config);
}

bool SphinxDecoder::beginUtterance()
{
    if (m_inUtterance)
        sphinx().ps_end_utt(m_decoder);
    m_inUtterance = sphinx().ps_start_utt(m_decoder) >= 0;
    return m_inUtterance;
}

bool SphinxDecoder::process(const std::int16_t *samples, std::size_t count)
{
    if (!m_inUtterance)
        return false;
    return sphinx().ps_process_raw(m_decoder, samples, count, FALSE, FALSE) >= 0;
}

bool SphinxDecoder::inSpeech() const
{
    return sphinx().ps_get_in_speech(m_decoder) != 0;
}

QString SphinxDecoder::hypothesis() const
{
    const char *text = sphinx().ps_get_hyp(m_decoder, nullptr);
    return text ? QString::fromUtf8(text) : QString();
}

QString SphinxDecoder::endUtterance()
{
    if (!m_inUtterance)
        return {};
    m_inUtterance = false;
    if (sphinx().ps_end_utt(m_decoder) < 0)
        return {};
    return hypothesis();
}

} // namespace dictation
