#pragma once

#include <QImage>
#include <QStringList>

#include <functional>

namespace glass {

// Where the brand marks look for their images, and the lookups themselves.
// An image that exists but does not decode counts as missing.
namespace BrandImages {

struct Lookup {
    // The application's resource folders, searched in order for name.ext.
    QStringList resourceDirectories;
    // Images registered under a name (here: the desktop's icon theme).
    std::function<QImage(const QString &name)> namedImage;
    // The application's own path: only an application bundle (.app) has a
    // workspace icon of its own.
    QString bundlePath;

    // ":/brand" and the icon theme.
    static Lookup defaults();
};

// The application icon: AppIcon-1024.png; then AppIcon-1024, AppIcon,
// app-icon-final as PNG resources or named images; then AppIconPower and
// AppIcon as ICNS resources; then a bundle's workspace icon; else null.
QImage loadIcon(const Lookup &lookup);

// The razevu mark: named "razevu-mark", resource razevu-mark.png, then the
// same for "RazevuMark"; else null.
QImage loadRazevuMark(const Lookup &lookup);

// The same with the default lookup, each done once per process and kept.
QImage appIcon();
QImage razevuMark();

// Starts decoding appIcon() on the shared pool (the first call only), so
// the first mark that draws it finds it decoded (or waits only for the rest).
void decodeAhead();

} // namespace BrandImages
} // namespace glass
