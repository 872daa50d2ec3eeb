#include "UnifiedDiff.h"

#include <QByteArrayView>
#include <QHash>
#include <algorithm>
#include <vector>

namespace tarnwell {

namespace {

constexpr int kContext = 3;

// Steps of the line matching allowed in one diff: well under a second. Past
// it, the rest of the lines are listed as changed.
constexpr long long kWorkLimit = 60'000'000;

// Each line with its line feed, if it has one.
std::vector<QByteArrayView> linesOf(const QByteArray &text)
{
    std::vector<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = text.indexOf('\n', start);
        end = end < 0 ? text.size() : end + 1;
        lines.emplace_back(text.constData() + start, end - start);
        start = end;
    }
    return lines;
}

// Marks the lines of a that are not in b (deleted) and of b that are not in
// a (inserted), leaving a longest common subsequence unmarked.
class LineMatcher
{
public:
    LineMatcher(const std::vector<int> &a, const std::vector<int> &b, std::vector<char> &deleted,
                std::vector<char> &inserted)
        : m_a(a), m_b(b), m_deleted(deleted), m_inserted(inserted)
    {
    }

    void compare(int aLo, int aHi, int bLo, int bHi)
    {
        while (aLo < aHi && bLo < bHi && m_a[aLo] == m_b[bLo]) {
            ++aLo;
            ++bLo;
        }
        while (aLo < aHi && bLo < bHi && m_a[aHi - 1] == m_b[bHi - 1]) {
            --aHi;
            --bHi;
        }
        if (aLo == aHi || bLo == bHi || !split(aLo, aHi, bLo, bHi)) {
            std::fill(m_deleted.begin() + aLo, m_deleted.begin() + aHi, 1);
            std::fill(m_inserted.begin() + bLo, m_inserted.begin() + bHi, 1);
        }
    }

private:
    // Finds the middle of a shortest edit path through a[aLo, aHi) and
    // b[bLo, bHi), whose first and last lines differ, by walking from both
    // ends at once, and compares the two halves. False when the work limit
    // is reached first.
    bool split(int aLo, int aHi, int bLo, int bHi)
    {
        const int n = aHi - aLo, m = bHi - bLo;
        const int maxD = (n + m + 1) / 2;
        const int offset = maxD + 1;
        std::vector<int> forward(2 * static_cast<size_t>(maxD) + 3, -1), backward(forward.size(), -1);
        forward[offset + 1] = 0;
        backward[offset + 1] = 0;
        const int delta = n - m;
        const bool odd = delta % 2 != 0;
        int fStart = 0, fEnd = 0, bStart = 0, bEnd = 0; // diagonals left behind, off the grid
        for (int d = 0; d < maxD; ++d) {
            for (int k = -d + fStart; k <= d - fEnd; k += 2) {
                const int i = offset + k;
                int x = k == -d || (k != d && forward[i - 1] < forward[i + 1]) ? forward[i + 1] : forward[i - 1] + 1;
                int y = x - k;
                const int x0 = x;
                while (x < n && y < m && m_a[aLo + x] == m_b[bLo + y]) {
                    ++x;
                    ++y;
                }
                m_work += 1 + x - x0;
                forward[i] = x;
                if (x > n) {
                    fEnd += 2;
                } else if (y > m) {
                    fStart += 2;
                } else if (odd) {
                    const int j = offset + delta - k;
                    if (j >= 0 && j < static_cast<int>(backward.size()) && backward[j] != -1 && x >= n - backward[j]) {
                        halves(aLo, aHi, bLo, bHi, x, y);
                        return true;
                    }
                }
            }
            for (int k = -d + bStart; k <= d - bEnd; k += 2) {
                const int i = offset + k;
                int x = k == -d || (k != d && backward[i - 1] < backward[i + 1]) ? backward[i + 1] : backward[i - 1] + 1;
                int y = x - k;
                const int x0 = x;
                while (x < n && y < m && m_a[aHi - 1 - x] == m_b[bHi - 1 - y]) {
                    ++x;
                    ++y;
                }
                m_work += 1 + x - x0;
                backward[i] = x;
                if (x > n) {
                    bEnd += 2;
                } else if (y > m) {
                    bStart += 2;
                } else if (!odd) {
                    const int j = offset + delta - k;
                    if (j >= 0 && j < static_cast<int>(forward.size()) && forward[j] != -1 && forward[j] >= n - x) {
                        const int fx = forward[j];
                        halves(aLo, aHi, bLo, bHi, fx, fx - (j - offset));
                        return true;
                    }
                }
            }
            if (m_work > kWorkLimit)
                return false;
        }
        return false;
    }

    void halves(int aLo, int aHi, int bLo, int bHi, int x, int y)
    {
        compare(aLo, aLo + x, bLo, bLo + y);
        compare(aLo + x, aHi, bLo + y, bHi);
    }

    const std::vector<int> &m_a, &m_b;
    std::vector<char> &m_deleted, &m_inserted;
    long long m_work = 0;
};

void appendLine(QByteArray &out, char mark, QByteArrayView line)
{
    out += mark;
    out += line;
    if (!line.endsWith('\n'))
        out += "\n\\ No newline at end of file\n";
}

// "l,n" of a hunk side that starts after `start` lines and holds n lines:
// l is its first line, or the line before it when it is empty; ",1" is
// left out.
QByteArray range(int start, int n)
{
    if (n == 1)
        return QByteArray::number(start + 1);
    return QByteArray::number(n == 0 ? start : start + 1) + ',' + QByteArray::number(n);
}

} // namespace

QByteArray unifiedDiff(const QByteArray &before, const QByteArray &after, const QByteArray &label)
{
    if (before == after)
        return QByteArray();
    const std::vector<QByteArrayView> a = linesOf(before), b = linesOf(after);
    // Lines as numbers, equal lines alike, so that comparing them is cheap.
    QHash<QByteArrayView, int> ids;
    std::vector<int> ia, ib;
    ia.reserve(a.size());
    ib.reserve(b.size());
    auto idOf = [&](QByteArrayView line) {
        auto known = ids.constFind(line);
        if (known == ids.cend())
            known = ids.insert(line, static_cast<int>(ids.size()));
        return *known;
    };
    for (QByteArrayView line : a)
        ia.push_back(idOf(line));
    for (QByteArrayView line : b)
        ib.push_back(idOf(line));
    std::vector<char> deleted(a.size(), 0), inserted(b.size(), 0);
    LineMatcher(ia, ib, deleted, inserted).compare(0, static_cast<int>(a.size()), 0, static_cast<int>(b.size()));

    // The changes: runs of deleted and inserted lines, at the same place of
    // both texts.
    struct Change
    {
        int a, aEnd, b, bEnd;
    };
    std::vector<Change> changes;
    const int n = static_cast<int>(a.size()), m = static_cast<int>(b.size());
    for (int i = 0, j = 0; i < n || j < m;) {
        if ((i < n && deleted[i]) || (j < m && inserted[j])) {
            Change c{i, i, j, j};
            while (c.aEnd < n && deleted[c.aEnd])
                ++c.aEnd;
            while (c.bEnd < m && inserted[c.bEnd])
                ++c.bEnd;
            changes.push_back(c);
            i = c.aEnd;
            j = c.bEnd;
        } else {
            ++i;
            ++j;
        }
    }

    // patch takes a file name up to a tab: one with blanks needs the tab
    // that diff -u writes before its time stamp.
    const QByteArray name = label.contains(' ') || label.contains('\t') ? label + '\t' : label;
    QByteArray out = "--- " + name + "\n+++ " + name + '\n';
    for (size_t first = 0; first < changes.size();) {
        // Changes whose context would touch or overlap share a hunk.
        size_t last = first;
        while (last + 1 < changes.size() && changes[last + 1].a - changes[last].aEnd <= 2 * kContext)
            ++last;
        const int aStart = std::max(0, changes[first].a - kContext);
        const int bStart = changes[first].b - (changes[first].a - aStart);
        const int aEnd = std::min(n, changes[last].aEnd + kContext);
        const int bEnd = changes[last].bEnd + (aEnd - changes[last].aEnd);
        out += "@@ -" + range(aStart, aEnd - aStart) + " +" + range(bStart, bEnd - bStart) + " @@\n";
        int i = aStart;
        for (size_t c = first; c <= last; ++c) {
            for (; i < changes[c].a; ++i)
                appendLine(out, ' ', a[static_cast<size_t>(i)]);
            for (; i < changes[c].aEnd; ++i)
                appendLine(out, '-', a[static_cast<size_t>(i)]);
            for (int j = changes[c].b; j < changes[c].bEnd; ++j)
                appendLine(out, '+', b[static_cast<size_t>(j)]);
        }
        for (; i < aEnd; ++i)
            appendLine(out, ' ', a[static_cast<size_t>(i)]);
        first = last + 1;
    }
    return out;
}

} // namespace tarnwell
