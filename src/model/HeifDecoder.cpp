#include "model/HeifDecoder.h"

#include "platform/LibrarySymbols.h"

#include <QColorSpace>

#include <libheif/heif.h>

#include <memory>

namespace model::HeifDecoder {

namespace {

// libheif is opened when the first image might be one: linked, it and its
// codecs (x265, de265, dav1d, aom) were loaded and bound at every start.
struct Heif {
    bool loaded = false;
#define MOONSHELF_HEIF_FUNCTION(name) decltype(&::name) name = nullptr;
    MOONSHELF_HEIF_FUNCTION(heif_init)
    MOONSHELF_HEIF_FUNCTION(heif_check_filetype)
    MOONSHELF_HEIF_FUNCTION(heif_context_alloc)
    MOONSHELF_HEIF_FUNCTION(heif_context_free)
    MOONSHELF_HEIF_FUNCTION(heif_context_set_maximum_image_size_limit)
    MOONSHELF_HEIF_FUNCTION(heif_context_read_from_memory_without_copy)
    MOONSHELF_HEIF_FUNCTION(heif_context_get_primary_image_handle)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_release)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_get_width)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_get_height)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_has_alpha_channel)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_get_color_profile_type)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_get_raw_color_profile_size)
    MOONSHELF_HEIF_FUNCTION(heif_image_handle_get_raw_color_profile)
    MOONSHELF_HEIF_FUNCTION(heif_decode_image)
    MOONSHELF_HEIF_FUNCTION(heif_image_release)
    MOONSHELF_HEIF_FUNCTION(heif_image_get_plane_readonly)
    MOONSHELF_HEIF_FUNCTION(heif_image_get_width)
    MOONSHELF_HEIF_FUNCTION(heif_image_get_height)
#undef MOONSHELF_HEIF_FUNCTION
};

// Opened and its codecs registered once per process; never closed or
// deinitialised, since other threads may be decoding at exit. Without the
// library nothing is recognised as HEIF.
const Heif &heif()
{
    static const Heif loaded = [] {
        Heif h;
        QLibrary library(QStringLiteral("heif"), 1);
        library.setLoadHints(QLibrary::ResolveAllSymbolsHint);
        if (!library.load())
            return h;
        platform::LibrarySymbols symbols(library);
#define MOONSHELF_HEIF_RESOLVE(name) symbols.resolve(h.name, #name);
        MOONSHELF_HEIF_RESOLVE(heif_init)
        MOONSHELF_HEIF_RESOLVE(heif_check_filetype)
        MOONSHELF_HEIF_RESOLVE(heif_context_alloc)
        MOONSHELF_HEIF_RESOLVE(heif_context_free)
        MOONSHELF_HEIF_RESOLVE(heif_context_set_maximum_image_size_limit)
        MOONSHELF_HEIF_RESOLVE(heif_context_read_from_memory_without_copy)
        MOONSHELF_HEIF_RESOLVE(heif_context_get_primary_image_handle)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_release)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_get_width)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_get_height)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_has_alpha_channel)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_get_color_profile_type)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_get_raw_color_profile_size)
        MOONSHELF_HEIF_RESOLVE(heif_image_handle_get_raw_color_profile)
        MOONSHELF_HEIF_RESOLVE(heif_decode_image)
        MOONSHELF_HEIF_RESOLVE(heif_image_release)
        MOONSHELF_HEIF_RESOLVE(heif_image_get_plane_readonly)
        MOONSHELF_HEIF_RESOLVE(heif_image_get_width)
        MOONSHELF_HEIF_RESOLVE(heif_image_get_height)
#undef MOONSHELF_HEIF_RESOLVE
        if (!symbols.all())
            return h;
        h.heif_init(nullptr);
        h.loaded = true;
        return h;
    }();
    return loaded;
}

struct ContextFree {
    void operator()(heif_context *c) const { heif().heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle *h) const { heif().heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image *i) const { heif().heif_image_release(i); }
};

QColorSpace iccOf(heif_image_handle *handle)
{
    const Heif &h = heif();
    const heif_color_profile_type type = h.heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {};
    QByteArray icc(qsizetype(h.heif_image_handle_get_raw_color_profile_size(handle)), Qt::Uninitialized);
    if (icc.isEmpty() || h.heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return QColorSpace::fromIccProfile(icc);
}

} // namespace

bool recognises(const QByteArray &bytes)
{
    const Heif &h = heif();
    const int len = int(qMin<qsizetype>(bytes.size(), 64));
    return h.loaded && len >= 12 && h.heif_check_filetype(reinterpret_cast<const uint8_t *>(bytes.constData()), len) != heif_filetype_no;
}

std::optional<QImage> decode(const QByteArray &bytes, qint64 maxPixels, QSize (*fit)(QSize))
{
    const Heif &lib = heif();
    if (!lib.loaded)
        return std::nullopt;
    std::unique_ptr<heif_context, ContextFree> context(lib.heif_context_alloc());
    if (!context)
        return std::nullopt;
    lib.heif_context_set_maximum_image_size_limit(context.get(), 32768);
    if (lib.heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code
        != heif_error_Ok)
        return std::nullopt;

    heif_image_handle *rawHandle = nullptr;
    if (lib.heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok || !rawHandle)
        return std::nullopt;
    std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);

    const qint64 w = lib.heif_image_handle_get_width(handle.get());
    const qint64 h = lib.heif_image_handle_get_height(handle.get());
    if (w <= 0 || h <= 0 || w * h > maxPixels)
        return std::nullopt;

    const bool alpha = lib.heif_image_handle_has_alpha_channel(handle.get());
    heif_image *rawImage = nullptr;
    if (lib.heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
                .code
            != heif_error_Ok
        || !rawImage)
        return std::nullopt;
    std::unique_ptr<heif_image, ImageFree> decoded(rawImage);

    int stride = 0;
    const uint8_t *pixels = lib.heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int iw = lib.heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int ih = lib.heif_image_get_height(decoded.get(), heif_channel_interleaved);
    if (!pixels || iw <= 0 || ih <= 0 || stride <= 0)
        return std::nullopt;

    // A view of libheif's buffer; the copy or the scaled image owns its pixels.
    const QImage view(pixels, iw, ih, stride, alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const QSize target = fit(view.size());
    QImage image = target == view.size() ? view.copy()
                                         : view.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (image.isNull())
        return std::nullopt;
    if (const QColorSpace space = iccOf(handle.get()); space.isValid())
        image.setColorSpace(space);
    return image;
}

} // namespace model::HeifDecoder
