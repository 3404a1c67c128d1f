// settings.json: whatever the decoder accepts is written in a form that
// reads back as the same settings (doubles and 64-bit counts included), and
// writing that again gives the same bytes.
#include "FuzzCheck.h"

#include "model/SettingsJson.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const auto read = model::decodeSettings(QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (!read.ok())
        return 0;
    const QByteArray written = model::encodeSettings(read.value());
    const auto again = model::decodeSettings(written);
    fuzz::check(again.ok(), "what the store writes decodes", QString::fromUtf8(written));
    fuzz::check(again.value() == read.value(), "written settings read back the same", QString::fromUtf8(written));
    fuzz::check(model::encodeSettings(again.value()) == written, "writing them again gives the same bytes");
    return 0;
}
