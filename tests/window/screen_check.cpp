// Looks at the X screen the moonshelf executable runs on: waits until its
// window is on the screen, saves a screenshot, and checks that the stage
// shows through the title strip (no opaque bar painted over it).
// Usage: screen_check <screenshot.png> [seconds to wait] [sky]

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cmath>
#include <cstdio>

namespace {

// The bounding box of everything that is not the empty (black) root.
QRect painted(const QImage &image)
{
    int left = image.width(), top = image.height(), right = -1, bottom = -1;
    for (int y = 0; y < image.height(); y += 2) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); x += 2) {
            if ((line[x] & 0xFFFFFF) == 0)
                continue;
            left = qMin(left, x);
            right = qMax(right, x);
            top = qMin(top, y);
            bottom = qMax(bottom, y);
        }
    }
    return right < 0 ? QRect() : QRect(QPoint(left, top), QPoint(right, bottom));
}

struct Stats {
    double mean = 0, spread = 0;
};

Stats luminance(const QImage &image, const QRect &area)
{
    double sum = 0, squares = 0;
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const double l = qGray(image.pixel(x, y));
            sum += l;
            squares += l * l;
            ++n;
        }
    }
    Stats s;
    s.mean = n ? sum / n : 0;
    s.spread = n ? std::sqrt(qMax(0.0, squares / n - s.mean * s.mean)) : 0;
    return s;
}

QRgb average(const QImage &image, const QRect &area)
{
    qint64 r = 0, g = 0, b = 0, n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x, ++n) {
            const QRgb p = image.pixel(x, y);
            r += qRed(p), g += qGreen(p), b += qBlue(p);
        }
    return n ? qRgb(int(r / n), int(g / n), int(b / n)) : 0;
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: screen_check <screenshot.png> [seconds]\n");
        return 2;
    }
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 30;
    // "sky": the stage shows the first-run night image with no sheet over it.
    const bool checkSky = argc > 3 && QByteArray(argv[3]) == "sky";
    QScreen *screen = QGuiApplication::primaryScreen();
    QElapsedTimer clock;
    clock.start();
    QImage shot;
    QRect window;
    Stats s, b;
    QRgb sky = 0;
    // Looked at again until the window is there and the stage shows through
    // its strip: the stage's first image comes a while after the window, and
    // how long a while depends on how busy the machine is.
    bool shown = false;
    for (;;) {
        shot = screen->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        window = painted(shot);
        // The window is there once something the size of the main window is painted.
        if (window.width() >= 1100 && window.height() >= 700) {
            // The empty middle of the title strip, and the stage right below it.
            const QRect strip(window.left() + window.width() * 2 / 5, window.top() + 6, window.width() / 5, 26);
            s = luminance(shot, strip);
            b = luminance(shot, strip.translated(0, 60));
            sky = average(shot, strip);
            // An opaque bar would differ from the stage under it, and a bar in the
            // palette's grey would lose the night sky's blue.
            shown = std::abs(s.mean - b.mean) <= 25 && (!checkSky || qBlue(sky) >= qRed(sky) + 4);
            if (shown)
                break;
        }
        if (clock.elapsed() >= seconds * 1000)
            break;
        QThread::msleep(200);
    }
    shot.save(QString::fromLocal8Bit(argv[1]));
    if (window.width() < 1100 || window.height() < 700) {
        std::fprintf(stderr, "no main window on the screen (painted area %dx%d)\n", window.width(), window.height());
        return 1;
    }
    std::printf("window %dx%d at %d,%d; strip mean %.1f spread %.1f; stage below mean %.1f spread %.1f\n",
                window.width(), window.height(), window.left(), window.top(), s.mean, s.spread, b.mean, b.spread);
    std::printf("strip colour %d,%d,%d\n", qRed(sky), qGreen(sky), qBlue(sky));
    if (!shown) {
        std::fprintf(stderr, "the title strip does not show the stage\n");
        return 1;
    }
    return 0;
}
