// The chat pane with 10 images staged (their chips and thumbnails above the
// composer): the time from a key press in the field to its frame painted,
// median and 95th percentile over 300 keys. Then the welcome card signed
// out (the breathing connect capsule and the app mark) shown for 9 s, one
// breath: CPU in percent of one core and paints; then hidden for 3 s: the
// same, which should be nothing. Prints one figure a line: "name value unit".
#include "app/AppViewModel.h"
#include "chat/composer/AttachmentStrip.h"
#include "chat/composer/AttachmentThumbnails.h"
#include "chat/ChatView.h"
#include "chat/composer/ComposerBar.h"
#include "chat/composer/ComposerField.h"
#include "chat/welcome/ConnectEmberCapsule.h"
#include "chat/welcome/WelcomeCard.h"
#include "glass/look/Styles.h"
#include "model/AttachmentTempStore.h"
#include "stage/BackgroundSettings.h"
#include "stage/SkinStore.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QKeyEvent>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

class SignIn final : public app::SignInSource {
public:
    explicit SignIn(bool signedIn) : m_signedIn(signedIn) {}
    bool isSignedIn() const override { return m_signedIn; }
    QString authModeDescription() const override { return QStringLiteral("API key"); }
    QCoro::Task<platform::Result<QString, app::TokenFailure>> bearerToken() override
    {
        co_return QStringLiteral("bench-token");
    }

private:
    bool m_signedIn;
};

struct Fixture {
    QNetworkAccessManager network;
    QTemporaryDir stagingDir;
    QTemporaryDir stageDir;
    std::unique_ptr<model::AttachmentTempStore> staging;
    std::unique_ptr<stage::BackgroundSettings> background;
    std::unique_ptr<stage::SkinStore> skins;
    std::unique_ptr<glass::StyleStore> styles;

    Fixture()
    {
        staging = std::make_unique<model::AttachmentTempStore>(stagingDir.path());
        stage::BackgroundSettings::Config config;
        config.supportDirectory = stageDir.path();
        config.network = &network;
        background = std::make_unique<stage::BackgroundSettings>(config);
        skins = std::make_unique<stage::SkinStore>(
            stage::SkinStore::Sources{QStringLiteral(":/skins"), QDir(stageDir.path()).filePath(QStringLiteral("skins"))});
        styles = std::make_unique<glass::StyleStore>(*skins);
    }

    std::unique_ptr<app::AppViewModel> make(bool signedIn)
    {
        app::AppServices services;
        services.signIn = std::make_unique<SignIn>(signedIn);
        services.network = &network;
        services.endpoint = QUrl(QStringLiteral("http://127.0.0.1:9/v1/chat/completions"));
        services.staging = staging.get();
        services.background = background.get();
        return std::make_unique<app::AppViewModel>(std::move(services));
    }
};

void print(const char *name, double value, const char *unit)
{
    std::printf("%s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// A noisy photo-like picture, so staging and thumbnails do real work.
QByteArray photo(int seed)
{
    QImage image(1600, 1000, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    QPainter p(&image);
    p.fillRect(image.rect(), QColor::fromHsv(seed * 36 % 360, 120, 200));
    for (int i = 0; i < 400; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor::fromHsv(random.bounded(360), random.bounded(256), random.bounded(256)));
        p.drawEllipse(QPoint(random.bounded(1600), random.bounded(1000)), random.bounded(80), random.bounded(80));
    }
    p.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// Runs the event loop, idle between events, for ms.
void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void keystrokes(Fixture &fixture)
{
    auto vm = fixture.make(true);
    for (int i = 0; i < 10; ++i) {
        if (!vm->attachImageData(photo(i), QStringLiteral("Screenshot.png")))
            qFatal("staging failed");
    }
    chat::ChatView view(*vm, *fixture.styles);
    view.resize(1280, 800);
    view.show();
    auto *strip = view.composer()->attachmentSlot()->findChild<chat::AttachmentStrip *>();
    QElapsedTimer wait;
    wait.start();
    auto ready = [&] {
        for (const model::AttachedFile &file : vm->attachments()) {
            if (strip->findChild<chat::AttachmentThumbnails *>()->state(file.id) != chat::AttachmentThumbnails::State::Ready)
                return false;
        }
        return true;
    };
    while (!ready() && wait.elapsed() < 10'000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    spin(200);

    chat::ComposerField *field = view.composer()->field();
    field->setFocus();
    PaintCounter counter;
    field->viewport()->installEventFilter(&counter);
    // The chips (and their glass) should not repaint for a key in the field.
    PaintCounter chipPaints;
    for (QWidget *w : strip->findChildren<QWidget *>())
        w->installEventFilter(&chipPaints);
    for (QWidget *w : strip->widget()->findChildren<QWidget *>())
        w->installEventFilter(&chipPaints);
    std::vector<double> times;
    const QString letters = QStringLiteral("the quick brown fox jumps over the lazy dog ");
    for (int i = 0; i < 300; ++i) {
        const QChar c = letters.at(i % letters.size());
        QElapsedTimer t;
        t.start();
        QKeyEvent press(QEvent::KeyPress, c == QLatin1Char(' ') ? Qt::Key_Space : Qt::Key_A, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &press);
        QKeyEvent release(QEvent::KeyRelease, c == QLatin1Char(' ') ? Qt::Key_Space : Qt::Key_A, Qt::NoModifier,
                          QString(c));
        QCoreApplication::sendEvent(field, &release);
        // Layout and the frame: what the event loop does before the screen sees the key.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateRequest);
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    print("attach_keystroke_to_paint_median_10_images", times[times.size() / 2], "ms");
    print("attach_keystroke_to_paint_p95_10_images", times[times.size() * 95 / 100], "ms");
    print("attach_field_paints_per_keystroke", double(counter.paints) / 300.0, "paints");
    print("attach_strip_paints_per_keystroke", double(chipPaints.paints) / 300.0, "paints");
    print("attach_thumbnail_decodes_10_images", strip->findChild<chat::AttachmentThumbnails *>()->decodeCount(), "decodes");
}

void capsule(Fixture &fixture)
{
    auto vm = fixture.make(false);
    QWidget window;
    window.resize(900, 600);
    auto *card = new chat::WelcomeCard(*vm, *fixture.styles, &window);
    card->setGeometry(0, 24, 900, 400);
    window.show();
    spin(300);
    chat::ConnectEmberCapsule *capsule = card->findChild<chat::ConnectEmberCapsule *>(QStringLiteral("connectEmberCapsule"));
    if (!capsule->isVisible())
        qFatal("the capsule is not shown");

    int paints = capsule->paintCount();
    double cpu = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    spin(chat::ConnectEmberCapsule::kBreathPeriodMs);
    double seconds = double(wall.elapsed()) / 1000.0;
    print("capsule_cpu_shown", 100.0 * (cpuSeconds() - cpu) / seconds, "%");
    print("capsule_paints_per_second_shown", double(capsule->paintCount() - paints) / seconds, "paints/s");

    window.hide();
    paints = capsule->paintCount();
    cpu = cpuSeconds();
    wall.restart();
    spin(3000);
    seconds = double(wall.elapsed()) / 1000.0;
    print("capsule_cpu_hidden", 100.0 * (cpuSeconds() - cpu) / seconds, "%");
    print("capsule_paints_hidden", capsule->paintCount() - paints, "paints");
}

} // namespace

int main(int argc, char **argv)
{
    testsupport::isolateHome();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Fixture fixture;
    keystrokes(fixture);
    capsule(fixture);
    return 0;
}
