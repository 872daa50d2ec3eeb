#pragma once

#include <QString>
#include <QStringView>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

// Tables of names (element and attribute names, paths) whose cost the
// program controls on every processor: Qt's string hash costs about 30 times
// more for keys under 8 characters than for longer ones on some processors,
// and most names are short. Keys are QStrings; lookups take any QStringView
// without making a string.
namespace tarnwell {

// The standard library's hash of the UTF-16 units (MurmurHash2, 64-bit, in
// libstdc++): a few nanoseconds for short and long names alike, on every
// processor.
struct NameHash
{
    using is_transparent = void;
    size_t operator()(QStringView name) const noexcept
    {
        return std::hash<std::u16string_view>{}(std::u16string_view(name.utf16(), static_cast<size_t>(name.size())));
    }
};

struct NameEqual
{
    using is_transparent = void;
    bool operator()(QStringView a, QStringView b) const noexcept { return a == b; }
};

template<typename Value>
using NameMap = std::unordered_map<QString, Value, NameHash, NameEqual>;
using NameSet = std::unordered_set<QString, NameHash, NameEqual>;

} // namespace tarnwell
