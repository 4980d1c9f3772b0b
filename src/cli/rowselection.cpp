#include "cli/rowselection.h"

#include <charconv>

namespace {

std::optional<std::size_t> rowNumber(std::string_view text, std::size_t count)
{
    std::size_t number = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || number < 1
        || number > count)
        return std::nullopt;
    return number;
}

}  // namespace

std::optional<std::set<std::size_t>> parseRows(std::string_view text, std::size_t count)
{
    std::set<std::size_t> included;
    std::set<std::size_t> excluded;
    bool anyIncluded = false;
    while (true) {
        const std::size_t comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        const bool exclude = !item.empty() && item.front() == '!';
        if (exclude)
            item.remove_prefix(1);
        const std::size_t dash = item.find('-');
        const std::optional<std::size_t> first = rowNumber(item.substr(0, dash), count);
        const std::optional<std::size_t> last =
            dash == std::string_view::npos ? first : rowNumber(item.substr(dash + 1), count);
        if (!first || !last || *first > *last)
            return std::nullopt;
        for (std::size_t row = *first; row <= *last; ++row)
            (exclude ? excluded : included).insert(row - 1);
        anyIncluded = anyIncluded || !exclude;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    if (!anyIncluded) {
        for (std::size_t row = 0; row < count; ++row)
            included.insert(row);
    }
    for (std::size_t row : excluded)
        included.erase(row);
    return included;
}
