// Stages ten 12-megapixel photographs (and one HEIC of the same size) and
// prints the time per image and the peak memory of the staging itself.
#include "model/AttachmentTempStore.h"
#include "tst_staging_fixtures.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <numeric>
#include <cstdio>

namespace {

constexpr int kPhotos = 10;
const QSize kPhotoSize(4000, 3000);

// kB from a line of /proc/self/status ("VmHWM", "VmRSS").
qint64 statusKb(const char *key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(key) + ':';
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Starts a new peak-RSS measurement (Linux: "5" resets VmHWM to the current RSS).
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.1f %s\n", name, value, unit);
    std::fflush(stdout);
}

void printCount(const char *name, int value, const char *unit)
{
    std::printf("%s %d %s\n", name, value, unit);
    std::fflush(stdout);
}

// A photograph's worth of detail: the smooth test picture plus texture in
// 3-pixel cells, coarse enough to survive the downscale to 1280 pixels.
QImage detailedPhoto(QSize size, quint32 seed)
{
    QImage image = fixtures::photoLike(size, seed);
    QRandomGenerator rng(seed * 7919u);
    for (int y = 0; y < size.height(); y += 3) {
        for (int x = 0; x < size.width(); x += 3) {
            const int d = int(rng.bounded(48u)) - 24;
            for (int dy = 0; dy < 3 && y + dy < size.height(); ++dy) {
                auto *line = reinterpret_cast<QRgb *>(image.scanLine(y + dy));
                for (int dx = 0; dx < 3 && x + dx < size.width(); ++dx) {
                    const QRgb p = line[x + dx];
                    line[x + dx] = qRgb(qBound(0, qRed(p) + d, 255), qBound(0, qGreen(p) + d, 255),
                                        qBound(0, qBlue(p) + d, 255));
                }
            }
        }
    }
    return image;
}

struct Run {
    QList<double> ms;
    qint64 outputBytes = 0;
    qint64 maxOutput = 0;
    qint64 peakOverBaselineKb = 0;
    int failures = 0;
};

Run stageAll(const model::AttachmentTempStore &store, const QList<QByteArray> &inputs)
{
    Run run;
    resetPeak();
    const qint64 baseline = statusKb("VmRSS");
    for (const QByteArray &bytes : inputs) {
        QElapsedTimer timer;
        timer.start();
        const auto staged = store.stageImage(bytes, QStringLiteral("IMG_0001.JPG"), 0, 0);
        run.ms << timer.nsecsElapsed() / 1e6;
        if (!staged) {
            ++run.failures;
            continue;
        }
        run.outputBytes += staged->byteCount;
        run.maxOutput = std::max(run.maxOutput, staged->byteCount);
        store.deleteOwned(*staged);
    }
    run.peakOverBaselineKb = statusKb("VmHWM") - baseline;
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const model::AttachmentTempStore store(dir.filePath(QStringLiteral("staging")));

    QList<QByteArray> photos;
    qint64 inputBytes = 0;
    for (int i = 0; i < kPhotos; ++i) {
        photos << fixtures::encode(detailedPhoto(kPhotoSize, quint32(i + 1)), "jpeg", 92);
        inputBytes += photos.last().size();
    }

    const Run jpeg = stageAll(store, photos);
    const double total = std::accumulate(jpeg.ms.begin(), jpeg.ms.end(), 0.0);
    printCount("staging.photos", kPhotos, "images");
    print("staging.photo_input_mean", inputBytes / double(kPhotos) / 1048576.0, "MiB");
    print("staging.time_per_image_mean", total / kPhotos, "ms");
    print("staging.time_per_image_max", *std::max_element(jpeg.ms.begin(), jpeg.ms.end()), "ms");
    print("staging.output_mean", jpeg.outputBytes / double(std::max(kPhotos - jpeg.failures, 1)) / 1024.0, "KiB");
    print("staging.output_max", jpeg.maxOutput / 1024.0, "KiB");
    print("staging.peak_memory_over_baseline", jpeg.peakOverBaselineKb / 1024.0, "MiB");
    printCount("staging.failures", jpeg.failures, "images");

    const QByteArray heic = fixtures::heic(detailedPhoto(kPhotoSize, 99));
    if (!heic.isEmpty()) {
        const Run run = stageAll(store, {heic});
        print("staging.heic_time_per_image", run.ms.value(0), "ms");
        print("staging.heic_peak_memory_over_baseline", run.peakOverBaselineKb / 1024.0, "MiB");
        printCount("staging.heic_failures", run.failures, "images");
    }
    return 0;
}
