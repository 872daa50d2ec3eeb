#include "NameOrder.h"

#include <algorithm>
#include <functional>
#include <queue>

namespace tarnwell {

int NameOrder::intern(QStringView name, bool *added)
{
    if (const auto known = m_numbers.find(name); known != m_numbers.end()) {
        *added = false;
        return known->second;
    }
    const int number = size();
    m_names.push_back(name.toString());
    m_numbers.emplace(QStringView(m_names.back()), number);
    m_after.emplace_back();
    m_before.emplace_back();
    m_position.push_back(number);
    m_marked.push_back(0);
    *added = true;
    return number;
}

int NameOrder::find(QStringView name) const
{
    const auto known = m_numbers.find(name);
    return known == m_numbers.end() ? -1 : known->second;
}

void NameOrder::addBefore(int from, int to)
{
    const std::uint64_t key = static_cast<std::uint64_t>(from) << 32 | static_cast<std::uint32_t>(to);
    if (!m_decided.insert(key).second)
        return;
    if (m_position[from] > m_position[to] && !makeRoom(from, to))
        return;
    m_after[static_cast<size_t>(from)].push_back(to);
    m_before[static_cast<size_t>(to)].push_back(from);
}

bool NameOrder::makeRoom(int from, int to)
{
    const int lower = m_position[to], upper = m_position[from];
    // What must stay after to: the names it reaches that stand before from.
    // Reaching from itself means the evidence already puts to first.
    m_forward.assign(1, to);
    m_stack.assign(1, to);
    m_marked[to] = 1;
    bool cycle = false;
    while (!m_stack.empty() && !cycle) {
        const int name = m_stack.back();
        m_stack.pop_back();
        for (const int next : m_after[name]) {
            if (next == from) {
                cycle = true;
                break;
            }
            if (!m_marked[next] && m_position[next] < upper) {
                m_marked[next] = 1;
                m_forward.push_back(next);
                m_stack.push_back(next);
            }
        }
    }
    if (cycle) {
        for (const int name : m_forward)
            m_marked[name] = 0;
        return false;
    }
    // What must stay before from: the names that reach it and stand after to.
    m_backward.assign(1, from);
    m_stack.assign(1, from);
    m_marked[from] = 1;
    while (!m_stack.empty()) {
        const int name = m_stack.back();
        m_stack.pop_back();
        for (const int previous : m_before[name]) {
            if (!m_marked[previous] && m_position[previous] > lower) {
                m_marked[previous] = 1;
                m_backward.push_back(previous);
                m_stack.push_back(previous);
            }
        }
    }
    // The two groups share out the positions they held: the first group
    // takes the lower ones, each group keeping its own order.
    const auto byPosition = [this](int a, int b) { return m_position[a] < m_position[b]; };
    std::sort(m_backward.begin(), m_backward.end(), byPosition);
    std::sort(m_forward.begin(), m_forward.end(), byPosition);
    m_slots.clear();
    for (const int name : m_backward)
        m_slots.push_back(m_position[name]);
    for (const int name : m_forward)
        m_slots.push_back(m_position[name]);
    std::sort(m_slots.begin(), m_slots.end());
    size_t slot = 0;
    for (const std::vector<int> *group : {&m_backward, &m_forward}) {
        for (const int name : *group) {
            m_position[name] = m_slots[slot++];
            m_marked[name] = 0;
        }
    }
    return true;
}

QStringList NameOrder::sorted() const
{
    std::vector<size_t> waiting(m_names.size());
    std::priority_queue<int, std::vector<int>, std::greater<>> ready;
    for (size_t name = 0; name < m_names.size(); ++name) {
        waiting[name] = m_before[name].size();
        if (waiting[name] == 0)
            ready.push(static_cast<int>(name));
    }
    QStringList out;
    out.reserve(size());
    while (!ready.empty()) {
        const int name = ready.top();
        ready.pop();
        out.append(m_names[static_cast<size_t>(name)]);
        for (const int next : m_after[static_cast<size_t>(name)]) {
            if (--waiting[static_cast<size_t>(next)] == 0)
                ready.push(next);
        }
    }
    return out;
}

} // namespace tarnwell
