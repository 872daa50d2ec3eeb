#pragma once

#include <QStringView>
#include <cstdint>

namespace tarnwell {

// FNV-1a over the UTF-16 units of a name: a hash for the program's tables of
// names whose cost grows evenly with the length, on every processor (Qt's
// string hash costs far more for short keys on some).
struct NameHash
{
    size_t operator()(QStringView name) const noexcept
    {
        std::uint64_t h = 14695981039346656037ULL;
        for (const QChar c : name) {
            h ^= c.unicode();
            h *= 1099511628211ULL;
        }
        return static_cast<size_t>(h);
    }
};

} // namespace tarnwell
