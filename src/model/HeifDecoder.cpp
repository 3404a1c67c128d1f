#include "model/HeifDecoder.h"

#include <QColorSpace>

#include <libheif/heif.h>

#include <memory>

namespace model::HeifDecoder {

namespace {

struct ContextFree {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image *i) const { heif_image_release(i); }
};

// Registers libheif's codecs once per process; never undone, since other
// threads may be decoding at exit.
void ensureInitialised()
{
    static const bool done = [] {
        heif_init(nullptr);
        return true;
    }();
    Q_UNUSED(done);
}

QColorSpace iccOf(heif_image_handle *handle)
{
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {};
    QByteArray icc(qsizetype(heif_image_handle_get_raw_color_profile_size(handle)), Qt::Uninitialized);
    if (icc.isEmpty() || heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return QColorSpace::fromIccProfile(icc);
}

} // namespace

bool recognises(const QByteArray &bytes)
{
    const int len = int(qMin<qsizetype>(bytes.size(), 64));
    return len >= 12 && heif_check_filetype(reinterpret_cast<const uint8_t *>(bytes.constData()), len) != heif_filetype_no;
}

std::optional<QImage> decode(const QByteArray &bytes, qint64 maxPixels, QSize (*fit)(QSize))
{
    ensureInitialised();
    std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context)
        return std::nullopt;
    heif_context_set_maximum_image_size_limit(context.get(), 32768);
    if (heif_context_read_from_memory_without_copy(context.get(), bytes.constData(), size_t(bytes.size()), nullptr).code
        != heif_error_Ok)
        return std::nullopt;

    heif_image_handle *rawHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &rawHandle).code != heif_error_Ok || !rawHandle)
        return std::nullopt;
    std::unique_ptr<heif_image_handle, HandleFree> handle(rawHandle);

    const qint64 w = heif_image_handle_get_width(handle.get());
    const qint64 h = heif_image_handle_get_height(handle.get());
    if (w <= 0 || h <= 0 || w * h > maxPixels)
        return std::nullopt;

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    heif_image *rawImage = nullptr;
    if (heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                          alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, nullptr)
                .code
            != heif_error_Ok
        || !rawImage)
        return std::nullopt;
    std::unique_ptr<heif_image, ImageFree> decoded(rawImage);

    int stride = 0;
    const uint8_t *pixels = heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int iw = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int ih = heif_image_get_height(decoded.get(), heif_channel_interleaved);
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
