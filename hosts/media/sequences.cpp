#include "media/sequences.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "kit/error.h"
#include "media/paths.h"

namespace drawlet::media {

namespace fs = std::filesystem;

namespace {

// Numbers beyond 18 digits do not fit a long long.
constexpr std::size_t kMaxDigits = 18;

// "%%" as the percent sign it stands for.
std::string unescaped(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') ++i;
    }
    return out;
}

}  // namespace

SequencePattern::SequencePattern(const std::string& pattern) : pattern_(pattern) {
    const fs::path path(pattern);
    const std::string name = path.filename().string();
    folder_ = path.has_parent_path() ? fs::path(unescaped(path.parent_path().string())) : ".";
    // The number as FFmpeg writes it: %d, or %Nd / %0Nd zero-padded to N digits.
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] != '%') continue;
        std::size_t end = i + 1;
        while (end < name.size() && std::isdigit(static_cast<unsigned char>(name[end]))) ++end;
        if (end < name.size() && name[end] == 'd') {
            const std::string digits = name.substr(i + 1, end - i - 1);
            width_ = digits.empty() ? 0 : std::min(std::stoi(digits.substr(0, 3)), 64);
            prefix_ = unescaped(name.substr(0, i));
            suffix_ = unescaped(name.substr(end + 1));
            numberInName_ = true;
            return;
        }
        if (end == i + 1 && end < name.size() && name[end] == '%') i = end;
    }
}

std::optional<long long> SequencePattern::numberOf(const std::string& name) const {
    if (!numberInName_ || name.size() <= prefix_.size() + suffix_.size() ||
        name.compare(0, prefix_.size(), prefix_) != 0 ||
        name.compare(name.size() - suffix_.size(), suffix_.size(), suffix_) != 0)
        return std::nullopt;
    const std::string digits =
        name.substr(prefix_.size(), name.size() - prefix_.size() - suffix_.size());
    if (digits.size() > kMaxDigits || digits.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const long long number = std::stoll(digits);
    // Exactly as the pattern writes that number: 7 is "0007" of %04d, never "07" or "007".
    if (fmt::format("{:0{}}", number, width_) != digits) return std::nullopt;
    return number;
}

std::vector<long long> SequencePattern::existing() const {
    std::vector<long long> numbers;
    std::error_code ec;
    if (!numberInName_) return numbers;
    for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec))
        if (const auto number = numberOf(it->path().filename().string()))
            numbers.push_back(*number);
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

std::string SequencePattern::file(long long number) const { return sequenceFile(pattern_, number); }

long long sequenceStart(const SequencePattern& sequence, long long start) {
    if (!sequence.listable()) return start;
    const std::vector<long long> numbers = sequence.existing();
    if (numbers.empty())
        throw Error(fmt::format("{}: no file in {} is a frame of it", sequence.pattern(),
                                sequence.folder().string()));
    const long long first = start >= 0 ? start : numbers.front();
    auto at = std::lower_bound(numbers.begin(), numbers.end(), first);
    if (at == numbers.end() || *at != first)
        throw Error(fmt::format("{}: --start-number {}: there is no {}", sequence.pattern(), first,
                                sequence.file(first)));
    for (long long expected = first; at != numbers.end(); ++at, ++expected)
        if (*at != expected)
            throw Error(fmt::format("{}: {} is missing (the frames run from {} to {})",
                                    sequence.pattern(), sequence.file(expected), first,
                                    numbers.back()));
    return first;
}

}  // namespace drawlet::media
