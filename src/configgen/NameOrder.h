#pragma once

#include "NameHash.h"

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tarnwell {

// The names that stand under one element path, each numbered from 0 in the
// order it was first seen, and the evidence of which name stands before
// which. Evidence that contradicts what was taken before (it would close a
// cycle) is refused, so the first seen order wins. A topological order of the
// evidence is kept up to date as it comes in (Pearce and Kelly's dynamic
// algorithm), so that evidence agreeing with it costs constant time and the
// cycle check searches only the names between the two positions.
class NameOrder
{
public:
    NameOrder() = default;
    NameOrder(const NameOrder &) = delete;
    NameOrder &operator=(const NameOrder &) = delete;

    // The number of name; a new name gets the next number and sets *added.
    int intern(QStringView name, bool *added);
    // The number of name, -1 when it was never seen.
    int find(QStringView name) const;
    // How many names there are.
    int size() const { return static_cast<int>(m_names.size()); }
    // The name numbered number (0 <= number < size()).
    const QString &name(int number) const { return m_names[static_cast<size_t>(number)]; }

    // Takes "from stands before to" unless it contradicts the evidence taken before.
    void addBefore(int from, int to);

    // The names in an order that keeps the evidence taken, first seen first where it leaves a choice.
    QStringList sorted() const;

private:
    // Moves names so that to may stand after from; false, moving nothing,
    // when to already stands before from through the evidence taken.
    bool makeRoom(int from, int to);

    std::vector<QString> m_names;
    // Keys view the characters of m_names, which never change.
    std::unordered_map<QStringView, int, NameHash> m_numbers;
    std::unordered_set<std::uint64_t> m_decided; // from << 32 | to
    std::vector<std::vector<int>> m_after;       // evidence taken, by its first name
    std::vector<std::vector<int>> m_before;      // the same, by its second name
    std::vector<int> m_position;                 // in the topological order kept
    // Scratch space of makeRoom, kept between calls.
    std::vector<char> m_marked;
    std::vector<int> m_forward, m_backward, m_stack, m_slots;
};

} // namespace tarnwell
