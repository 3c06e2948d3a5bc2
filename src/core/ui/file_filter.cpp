// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_filter.h"

#include <algorithm>

namespace nyra {

namespace {

bool isSeparator(char c) {
    return c == ';' || c == ' ' || c == '\t' || c == ',';
}

std::vector<std::string> splitPatterns(std::string_view text) {
    std::vector<std::string> patterns;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isSeparator(text[i]))
            ++i;
        std::size_t end = i;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        if (end > i)
            patterns.emplace_back(text.substr(i, end - i));
        i = end;
    }
    return patterns;
}

// Characters that Qt accepts inside the parentheses of a filter, less the
// space that separates patterns there.
bool qtPatternChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    constexpr std::string_view kAllowed = "_.*?#-[]@{}/!<>$%&=^~:|";
    return kAllowed.find(c) != std::string_view::npos;
}

bool qtPattern(const std::string& pattern) {
    return !pattern.empty() && std::all_of(pattern.begin(), pattern.end(), qtPatternChar);
}

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// ";;" separates Qt filters, so a label may not contain it.
std::string withoutDoubleSemicolons(std::string_view label) {
    std::string out;
    for (char c : label) {
        if (c == ';' && !out.empty() && out.back() == ';')
            continue;
        out.push_back(c);
    }
    return out;
}

}  // namespace

std::vector<FileFilter> parseFileFilter(std::string_view filter) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (start <= filter.size()) {
        const auto bar = filter.find('|', start);
        if (bar == std::string_view::npos) {
            if (start < filter.size())
                fields.push_back(filter.substr(start));
            break;
        }
        fields.push_back(filter.substr(start, bar - start));
        start = bar + 1;
    }

    std::vector<FileFilter> filters;
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        if (fields[i].empty())
            break;
        auto patterns = splitPatterns(fields[i + 1]);
        if (patterns.empty())
            continue;
        filters.push_back({std::string(fields[i]), std::move(patterns)});
    }
    return filters;
}

std::string qtFilterString(const std::vector<FileFilter>& filters) {
    std::string out;
    for (const FileFilter& filter : filters) {
        std::vector<std::string> patterns;
        std::copy_if(filter.patterns.begin(), filter.patterns.end(), std::back_inserter(patterns),
                     qtPattern);
        if (patterns.empty())
            continue;
        std::string joined;
        for (const auto& p : patterns)
            joined += (joined.empty() ? "" : " ") + p;

        std::string label = withoutDoubleSemicolons(trim(filter.label));
        const auto open = label.rfind('(');
        const bool ownList = !label.empty() && label.back() == ')' && open != std::string::npos &&
                             sorted(splitPatterns(std::string_view(label).substr(
                                 open + 1, label.size() - open - 2))) == sorted(patterns);
        if (ownList) {
            // A bare "(*.bin;*.rom)" would show as a nameless entry: name it
            // as the program's other dialogs name the same list.
            std::string name = label.substr(0, open);
            if (trim(name).empty()) {
                name.clear();
                for (const auto& p : patterns)
                    name += (name.empty() ? "" : ";") + p;
            }
            label = name + "(" + joined + ")";
        } else {
            label = label.empty() ? "(" + joined + ")" : label + " (" + joined + ")";
        }
        if (!out.empty())
            out += ";;";
        out += label;
    }
    return out;
}

std::string withDefaultExtension(std::string_view path, std::string_view defaultExtension) {
    std::string_view ext = defaultExtension;
    while (!ext.empty() && (ext.front() == '*' || ext.front() == '.'))
        ext.remove_prefix(1);
    std::string result(path);
    if (ext.empty() || ext.find_first_of("*?") != std::string_view::npos)
        return result;
    const auto slash = path.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    if (name.empty() || name.find('.') != std::string_view::npos)
        return result;
    result += '.';
    result += ext;
    return result;
}

}  // namespace nyra
