#include "panels/ToolLogRowHeights.h"

#include <algorithm>

namespace panels {

void ToolLogRowHeights::settle() const
{
    const int rows = count();
    if (m_dirtyFrom > rows)
        return;
    m_tops.resize(rows + 1);
    int y = m_dirtyFrom == 0 ? 0 : m_tops.at(m_dirtyFrom - 1) + m_heights.at(m_dirtyFrom - 1);
    for (int row = m_dirtyFrom; row < rows; ++row) {
        m_tops[row] = y;
        y += m_heights.at(row);
    }
    m_tops[rows] = y;
    m_dirtyFrom = rows + 1;
}

int ToolLogRowHeights::top(int row) const
{
    settle();
    return m_tops.at(std::clamp(row, 0, count()));
}

int ToolLogRowHeights::rowAt(int y) const
{
    if (m_heights.isEmpty())
        return -1;
    settle();
    // The last top not below y; tops hold count() + 1 entries, the last the total.
    const auto end = m_tops.cbegin() + count();
    const auto at = std::upper_bound(m_tops.cbegin(), end, y);
    return int(std::max<qsizetype>(0, (at - m_tops.cbegin()) - 1));
}

void ToolLogRowHeights::reset(int rows, int estimate)
{
    rows = std::max(rows, 0);
    m_heights.fill(std::max(estimate, 0), rows);
    m_measured.fill(false, rows);
    m_unmeasured = rows;
    m_dirtyFrom = 0;
}

void ToolLogRowHeights::insert(int row, int rows, int estimate)
{
    row = std::clamp(row, 0, count());
    if (rows <= 0)
        return;
    m_heights.insert(row, rows, std::max(estimate, 0));
    m_measured.insert(row, rows, false);
    m_unmeasured += rows;
    m_dirtyFrom = std::min(m_dirtyFrom, row);
}

void ToolLogRowHeights::remove(int row, int rows)
{
    row = std::clamp(row, 0, count());
    rows = std::clamp(rows, 0, count() - row);
    if (rows == 0)
        return;
    m_unmeasured -= int(std::count(m_measured.cbegin() + row, m_measured.cbegin() + row + rows, false));
    m_heights.remove(row, rows);
    m_measured.remove(row, rows);
    m_dirtyFrom = std::min(m_dirtyFrom, row);
}

void ToolLogRowHeights::set(int row, int height)
{
    if (row < 0 || row >= count())
        return;
    if (!m_measured.at(row)) {
        m_measured[row] = true;
        --m_unmeasured;
    }
    height = std::max(height, 0);
    if (m_heights.at(row) == height)
        return;
    m_heights[row] = height;
    m_dirtyFrom = std::min(m_dirtyFrom, row);
}

void ToolLogRowHeights::forget()
{
    m_measured.fill(false);
    m_unmeasured = count();
}

} // namespace panels
