#pragma once

#include <QList>

namespace panels {

// The heights of a list's rows and where each row starts, for a view whose
// rows differ in height. A row not yet measured holds an estimate. Tops are
// prefix sums, brought up to date lazily from the first changed row, so a
// change to one row or a new row on top costs one pass over plain ints and
// never a measurement of the others.
class ToolLogRowHeights {
public:
    int count() const { return int(m_heights.size()); }
    int height(int row) const { return m_heights.at(row); }
    bool isMeasured(int row) const { return m_measured.at(row); }
    int unmeasured() const { return m_unmeasured; }

    // Where the row starts, from the top of the list; `count()` gives the total.
    int top(int row) const;
    int total() const { return top(count()); }
    // The row covering `y`, clamped to the first and last rows; -1 when empty.
    int rowAt(int y) const;

    void reset(int rows, int estimate);
    void insert(int row, int rows, int estimate);
    void remove(int row, int rows);
    void set(int row, int height);
    // Keeps every height as an estimate, to be measured again.
    void forget();

private:
    void settle() const;

    QList<int> m_heights;
    QList<bool> m_measured;
    mutable QList<int> m_tops{0}; // one more than rows: the last is the total
    mutable int m_dirtyFrom = 0;
    int m_unmeasured = 0;
};

} // namespace panels
