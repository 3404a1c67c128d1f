// Cleans one 640,000-character line of prose the way a reply's paragraph is
// cleaned before rendering, and prints the median of five runs, one figure a
// line: ordinary prose with code spans and links, and hostile lines (backtick
// runs of rising length, link openers and autolink openers never closed).
#include "chat/markdown/MarkdownText.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr qsizetype kLength = 640'000;

QString repeated(const std::function<QString(int)> &unit)
{
    QString out;
    out.reserve(kLength + 1024);
    for (int k = 2; out.size() < kLength; ++k)
        out += unit(k);
    return out;
}

double medianMs(const QString &line)
{
    std::vector<double> ms;
    for (int run = 0; run < 5; ++run) {
        QElapsedTimer t;
        t.start();
        const QString cleaned = chat::MarkdownText::normalizeProse(line);
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
        if (cleaned.isEmpty())
            std::puts("empty result");
    }
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const struct {
        const char *name;
        QString line;
    } cases[] = {
        {"prose_cleanup_prose_640k",
         repeated([](int k) {
             return QStringLiteral("The build runs `main.cpp` and  then [docs](https://qt.io/A.B) said %1.Next ").arg(k);
         })},
        {"prose_cleanup_rising_backticks_640k", repeated([](int k) { return QString(k, u'`') + u'a'; })},
        {"prose_cleanup_open_links_640k", repeated([](int) { return QStringLiteral("]("); })},
        {"prose_cleanup_open_autolinks_640k", repeated([](int) { return QStringLiteral("<ab:c"); })},
    };
    for (const auto &c : cases)
        std::printf("%s %.1f ms\n", c.name, medianMs(c.line));
    return 0;
}
