// Prints one figure a line: "name value unit".
//   stage.skin_current      the skin in use, as about 150 views ask per draw
//   stage.skin_hex          one colour string to a colour
//   stage.prepare_1080p    decode a 1920x1080 web image and encode the JPEG slot
//   stage.first_run_start  start-up in an empty folder (installs the stage image)
//   stage.veil_step        one move of the veil slider (saves background.json)

#include "stage/BackgroundFiles.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinHex.h"
#include "stage/SkinStore.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace stage;

namespace {

template <typename F>
double nanosPerCall(int calls, F &&f)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < calls; ++i)
        f();
    return double(timer.nsecsElapsed()) / calls;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    QGuiApplication app(argc, argv);

    SkinStore store({QStringLiteral(":/skins"), home.filePath("skins")});
    store.select(QStringLiteral("paper"));
    volatile int sink = 0;
    std::printf("stage.skin_current %.0f ns\n", nanosPerCall(200000, [&] { sink = sink + int(store.current().name.size()); }));
    const QString hex = store.current().colors.accentSoft;
    std::printf("stage.skin_hex %.0f ns\n", nanosPerCall(200000, [&] { sink = sink + colorFromSkinHex(hex).alpha(); }));

    const QByteArray webp = [&] {
        QFile f(QStringLiteral(":/default-stage.webp"));
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const double prepare = nanosPerCall(10, [&] {
        const QImage decoded = BackgroundFiles::decodeImageBytes(webp, 64LL * 1024 * 1024);
        sink = sink + int(BackgroundFiles::encodeJpeg(decoded, 88).size());
    });
    std::printf("stage.prepare_1080p %.1f ms\n", prepare / 1e6);

    const double start = nanosPerCall(5, [&] {
        QTemporaryDir support;
        BackgroundSettings::Config config;
        config.supportDirectory = support.path();
        BackgroundSettings settings(config);
        sink = sink + settings.loadedImage().width();
    });
    std::printf("stage.first_run_start %.1f ms\n", start / 1e6);

    // What one step of the veil slider costs on the UI thread (it saves).
    QTemporaryDir support;
    BackgroundSettings::Config config;
    config.supportDirectory = support.path();
    BackgroundSettings settings(config);
    int step = 0;
    const double veil = nanosPerCall(200, [&] { settings.applyOverlayOpacity(0.2 + 0.001 * (++step % 100)); });
    std::printf("stage.veil_step %.2f ms\n", veil / 1e6);
    return sink == 42 ? 1 : 0;
}
