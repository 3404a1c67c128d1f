// The project file tree and the tool log at scale.
//   panels.tree_walk_ms            a 100,000-file project walked (on the worker), end to end
//   panels.tree_ui_ms              UI-thread time of one reload (the model reset and re-opening folders)
//   panels.tree_rss_mb             memory the loaded tree holds
//   panels.toollog_update_ms       one status change at 50,000 entries, through the list's layout and paint
//   panels.toollog_insert_ms       one new call at the top at 50,000 entries
#include "app/ToolLogModel.h"
#include "glass/look/Styles.h"
#include "panels/FileTreeModel.h"
#include "panels/ToolLogList.h"
#include "panels/ToolLogRowDelegate.h"
#include "stage/SkinStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeView>

#include <cstdio>

namespace {

long rssKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return 0;
}

void makeProject(const QString &root, int files)
{
    // 100 folders of 10 subfolders of 100 files: four levels deep in all.
    int made = 0;
    for (int a = 0; made < files; ++a) {
        for (int b = 0; b < 10 && made < files; ++b) {
            const QString dir = QStringLiteral("%1/pkg%2/mod%3").arg(root).arg(a).arg(b);
            QDir().mkpath(dir);
            for (int c = 0; c < 100 && made < files; ++c, ++made) {
                QFile f(QStringLiteral("%1/file%2.txt").arg(dir).arg(c));
                (void)f.open(QIODevice::WriteOnly);
            }
        }
    }
}

double waitReload(panels::FileTreeModel &model, double *uiMs)
{
    QSignalSpy reloaded(&model, &panels::FileTreeModel::reloaded);
    QElapsedTimer all;
    all.start();
    model.requestReload();
    QElapsedTimer ui;
    double longestUi = 0;
    while (reloaded.isEmpty()) {
        ui.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        longestUi = std::max(longestUi, ui.nsecsElapsed() / 1e6);
    }
    *uiMs = longestUi;
    return all.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    makeProject(dir.path(), qEnvironmentVariableIntValue("BENCH_FILES") ? qEnvironmentVariableIntValue("BENCH_FILES") : 100000);

    panels::FileTreeModel model;
    QTreeView tree;
    tree.setModel(&model);
    tree.resize(240, 700);
    tree.show();
    model.setRootPath(dir.path());
    const long before = rssKb();
    double ui = 0;
    waitReload(model, &ui); // cold
    const long loaded = rssKb();
    tree.expand(model.indexForPath(dir.path() + QStringLiteral("/pkg0")));
    double worst = 0, walk = 0;
    for (int i = 0; i < 3; ++i) {
        walk = waitReload(model, &ui);
        worst = std::max(worst, ui);
    }
    std::printf("panels.tree_walk_ms %.1f ms\n", walk);
    std::printf("panels.tree_ui_ms %.2f ms\n", worst);
    std::printf("panels.tree_rss_mb %.1f MB\n", (loaded - before) / 1024.0);

    stage::SkinStore skins(stage::SkinStore::defaultSources());
    glass::StyleStore styles(skins);
    app::ToolLogModel log;
    QList<model::ToolLogEntry> entries;
    for (int i = 0; i < 50000; ++i) {
        model::ToolLogEntry e;
        e.id = QUuid::createUuid();
        e.name = QStringLiteral("read_file");
        e.argumentsPreview = QStringLiteral("{\"path\":\"src/file%1.cpp\"}").arg(i);
        e.resultPreview = QStringLiteral("line one\nline two");
        e.status = model::ToolLogEntry::Status::Success;
        entries.append(e);
    }
    log.sync(entries);
    panels::ToolLogList list; // the panel's list, with the panel's delegate
    list.setModel(&log);
    list.setItemDelegate(new panels::ToolLogRowDelegate(styles, &list));
    list.setFrameShape(QFrame::NoFrame);
    list.resize(280, 700);
    list.show();

    // The longest the UI thread is held at once while the list takes a change in.
    const auto longestSlice = [&] {
        QElapsedTimer slice;
        double longest = 0;
        for (int i = 0; i < 600; ++i) {
            slice.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, slice.nsecsElapsed() / 1e6);
        }
        return longest;
    };
    // The first layout: rows out of sight are measured in slices.
    while (list.rowHeights().unmeasured() > 0)
        QCoreApplication::processEvents();
    longestSlice();

    QElapsedTimer t;
    entries[0].status = model::ToolLogEntry::Status::Failure;
    t.start();
    log.sync(entries);
    const double sync = t.nsecsElapsed() / 1e6;
    std::printf("panels.toollog_update_ms %.2f ms\n", std::max(sync, longestSlice()));

    model::ToolLogEntry fresh = entries[1];
    fresh.id = QUuid::createUuid();
    fresh.status = model::ToolLogEntry::Status::Running;
    entries.prepend(fresh);
    t.start();
    log.sync(entries);
    const double insert = t.nsecsElapsed() / 1e6;
    std::printf("panels.toollog_insert_ms %.2f ms\n", std::max(insert, longestSlice()));
    return 0;
}
