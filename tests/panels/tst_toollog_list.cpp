#include "panels/ToolLogList.h"
#include "panels/ToolLogRowHeights.h"
#include "support/TestMain.h"

#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyledItemDelegate>

using panels::ToolLogRowHeights;

namespace {

// Rows as tall as their item says; counts how often it is asked.
class HeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        ++asked;
        return {option.rect.width(), index.data(Qt::UserRole).toInt()};
    }
    mutable int asked = 0;
};

QStandardItem *row(const QString &name, int height)
{
    auto *item = new QStandardItem(name);
    item->setData(height, Qt::UserRole);
    return item;
}

// "reset 3 10; set 1 30; insert 0 2 5; remove 2 1; forget"
void run(ToolLogRowHeights &h, const QString &script)
{
    for (const QString &step : script.split(u';', Qt::SkipEmptyParts)) {
        const QStringList w = step.split(u' ', Qt::SkipEmptyParts);
        const auto n = [&](int i) { return w.value(i).toInt(); };
        if (w.first() == u"reset")
            h.reset(n(1), n(2));
        else if (w.first() == u"set")
            h.set(n(1), n(2));
        else if (w.first() == u"insert")
            h.insert(n(1), n(2), n(3));
        else if (w.first() == u"remove")
            h.remove(n(1), n(2));
        else if (w.first() == u"forget")
            h.forget();
    }
}

} // namespace

class ToolLogListTest : public QObject {
    Q_OBJECT
private slots:
    void rowHeights_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<QList<int>>("tops"); // every row's top, then the total
        QTest::addColumn<QList<int>>("probes");
        QTest::addColumn<QList<int>>("rowsAt");
        QTest::addColumn<int>("unmeasured");
        QTest::newRow("empty") << "" << QList<int>{0} << QList<int>{0, 5} << QList<int>{-1, -1} << 0;
        QTest::newRow("estimates") << "reset 3 10" << QList<int>{0, 10, 20, 30} << QList<int>{0, 9, 10, 29}
                                   << QList<int>{0, 0, 1, 2} << 3;
        QTest::newRow("a measured row moves those below")
            << "reset 3 10; set 1 30" << QList<int>{0, 10, 40, 50} << QList<int>{10, 39, 40} << QList<int>{1, 1, 2}
            << 2;
        QTest::newRow("above and below the list clamp")
            << "reset 2 10" << QList<int>{0, 10, 20} << QList<int>{-5, 20, 500} << QList<int>{0, 1, 1} << 2;
        QTest::newRow("new rows on top shift the sums")
            << "reset 2 10; set 0 10; set 1 20; insert 0 1 7" << QList<int>{0, 7, 17, 37} << QList<int>{6, 7, 17}
            << QList<int>{0, 1, 2} << 1;
        QTest::newRow("rows inserted at the end")
            << "reset 1 10; insert 1 2 4" << QList<int>{0, 10, 14, 18} << QList<int>{13, 14} << QList<int>{1, 2} << 3;
        QTest::newRow("removing the middle closes the gap")
            << "reset 3 10; set 0 5; set 1 50; set 2 6; remove 1 1" << QList<int>{0, 5, 11} << QList<int>{5}
            << QList<int>{1} << 0;
        QTest::newRow("removing past the end stops at the end")
            << "reset 3 10; remove 1 9" << QList<int>{0, 10} << QList<int>{15} << QList<int>{0} << 1;
        QTest::newRow("a zero-height row is skipped by lookups")
            << "reset 3 10; set 1 0" << QList<int>{0, 10, 10, 20} << QList<int>{9, 10} << QList<int>{0, 2} << 2;
        QTest::newRow("forget keeps heights as estimates")
            << "reset 2 10; set 0 30; set 1 40; forget" << QList<int>{0, 30, 70} << QList<int>{30}
            << QList<int>{1} << 2;
        QTest::newRow("measuring twice counts once") << "reset 2 10; set 0 11; set 0 12" << QList<int>{0, 12, 22}
                                                     << QList<int>{} << QList<int>{} << 1;
        QTest::newRow("set out of range is ignored") << "reset 1 10; set 1 99; set -1 99" << QList<int>{0, 10}
                                                     << QList<int>{} << QList<int>{} << 1;
    }
    void rowHeights()
    {
        QFETCH(QString, script);
        QFETCH(QList<int>, tops);
        QFETCH(QList<int>, probes);
        QFETCH(QList<int>, rowsAt);
        QFETCH(int, unmeasured);
        ToolLogRowHeights h;
        run(h, script);
        QCOMPARE(h.count(), tops.size() - 1);
        QList<int> got;
        for (int r = 0; r <= h.count(); ++r)
            got.append(h.top(r));
        QCOMPARE(got, tops);
        QCOMPARE(h.total(), tops.last());
        QList<int> at;
        for (const int y : probes)
            at.append(h.rowAt(y));
        QCOMPARE(at, rowsAt);
        QCOMPARE(h.unmeasured(), unmeasured);
    }

    // Whatever changes above, the row the user reads stays where it was; at
    // the very top a new call shows.
    void keepsReadingPlace_data()
    {
        QTest::addColumn<int>("scroll");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("topItem");
        QTest::addColumn<int>("topY");
        QTest::newRow("at the top a new call shows") << 0 << "insert" << "new" << 0;
        QTest::newRow("scrolled, a new call above") << 410 << "insert" << "r10" << -10;
        QTest::newRow("scrolled, a row above grows") << 410 << "grow 2" << "r10" << -10;
        QTest::newRow("scrolled, the row in sight grows") << 410 << "grow 10" << "r10" << -10;
        QTest::newRow("scrolled, a row below grows") << 410 << "grow 12" << "r10" << -10;
        QTest::newRow("scrolled, a row above goes") << 410 << "remove 3" << "r10" << -10;
        QTest::newRow("the row in sight goes") << 410 << "remove 10" << "r11" << 0;
    }
    void keepsReadingPlace()
    {
        QFETCH(int, scroll);
        QFETCH(QString, change);
        QFETCH(QString, topItem);
        QFETCH(int, topY);
        QStandardItemModel model;
        for (int i = 0; i < 50; ++i)
            model.appendRow(row(QStringLiteral("r%1").arg(i), 40));
        panels::ToolLogList list;
        list.setItemDelegate(new HeightDelegate(&list));
        list.setModel(&model);
        list.resize(200, 200);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QTRY_COMPARE(list.rowHeights().unmeasured(), 0);
        list.verticalScrollBar()->setValue(scroll);
        const QPersistentModelIndex watched = model.index(12, 0);
        list.openPersistentEditor(watched);

        const QStringList words = change.split(u' ');
        if (words.first() == u"insert")
            model.insertRow(0, row(QStringLiteral("new"), 70));
        else if (words.first() == u"grow")
            model.item(words.at(1).toInt())->setData(100, Qt::UserRole);
        else if (words.first() == u"remove")
            model.removeRow(words.at(1).toInt());

        const QModelIndex top = list.indexAt(QPoint(5, 0));
        QCOMPARE(top.data().toString(), topItem);
        QCOMPARE(list.visualRect(top).top(), topY);
        // Rows stack without gaps, each as tall as it asks, and the bar ends
        // with the last.
        int y = list.visualRect(model.index(0, 0)).top();
        for (int r = 0; r < model.rowCount(); ++r) {
            const QRect rect = list.visualRect(model.index(r, 0));
            QCOMPARE(rect.top(), y);
            QCOMPARE(rect.height(), model.index(r, 0).data(Qt::UserRole).toInt());
            y += rect.height();
        }
        QCOMPARE(list.verticalScrollBar()->maximum(), y - list.visualRect(model.index(0, 0)).top() - list.viewport()->height());
        QWidget *editor = list.indexWidget(watched);
        QVERIFY(editor);
        QCOMPARE(editor->geometry(), list.visualRect(watched));
    }

    // A change measures its own row, a new call its own: never the others.
    void measuresOnlyWhatChanged()
    {
        QStandardItemModel model;
        for (int i = 0; i < 5000; ++i)
            model.appendRow(row(QStringLiteral("r%1").arg(i), 30 + i % 7));
        panels::ToolLogList list;
        auto *delegate = new HeightDelegate(&list);
        list.setItemDelegate(delegate);
        list.setModel(&model);
        list.resize(200, 300);
        list.show();
        QTRY_COMPARE(list.rowHeights().unmeasured(), 0);
        QCOMPARE(list.rowHeights().total(), 164995); // the rows' heights summed

        delegate->asked = 0;
        model.item(4000)->setData(90, Qt::UserRole);
        QCOMPARE(delegate->asked, 1);
        QCOMPARE(list.visualRect(model.index(4000, 0)).height(), 90);
        delegate->asked = 0;
        model.insertRow(0, row(QStringLiteral("new"), 44));
        QCOMPARE(delegate->asked, 1);
        QCOMPARE(list.visualRect(model.index(0, 0)), QRect(0, 0, list.viewport()->width(), 44));
        QCOMPARE(list.indexAt(QPoint(5, 44)).data().toString(), QStringLiteral("r0"));
    }
};

MOONSHELF_TEST_WIDGETS_MAIN(ToolLogListTest)
#include "tst_toollog_list.moc"
