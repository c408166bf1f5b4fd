#include "media/part_tags.h"

#include <fmt/format.h>
#include <strings.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <filesystem>
#include <fstream>

#include "kit/error.h"
#include "media/paths.h"

namespace drawlet::media {

namespace {

constexpr const char* kSourceTag = "drawlet_source";
constexpr const char* kFirstTag = "drawlet_first_frame";
constexpr const char* kDigestTag = "drawlet_digest";

constexpr std::uint64_t kFnvStart = 14695981039346656037ULL;

// FNV-1a, 64 bits: enough to tell inputs apart, not a defence against forgery.
void hashInto(std::uint64_t& hash, const char* data, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= static_cast<unsigned char>(data[i]);
        hash *= 1099511628211ULL;
    }
}

// A tag's whole text as a number from `least` up; nullopt when it is anything else.
std::optional<long long> toNumber(const char* text, long long least) {
    long long value = 0;
    const char* end = text + std::char_traits<char>::length(text);
    const auto parsed = std::from_chars(text, end, value);
    if (parsed.ec != std::errc() || parsed.ptr != end || value < least) return std::nullopt;
    return value;
}

}  // namespace

std::string sourceFingerprint(const std::string& path) {
    std::error_code ec;
    if (isStdio(path) || !std::filesystem::is_regular_file(path, ec)) return {};
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) return {};
    std::ifstream in(path, std::ios::binary);
    constexpr std::size_t kSpan = 1 << 20;
    std::vector<char> buffer(kSpan);
    std::uint64_t hash = kFnvStart;
    in.read(buffer.data(), static_cast<std::streamsize>(kSpan));
    hashInto(hash, buffer.data(), static_cast<std::size_t>(in.gcount()));
    if (size > kSpan) {
        in.clear();
        in.seekg(static_cast<std::streamoff>(size - std::min<std::uintmax_t>(size, kSpan)));
        in.read(buffer.data(), static_cast<std::streamsize>(kSpan));
        hashInto(hash, buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    return fmt::format("{}:{:016x}", size, hash);
}

std::string fileDigest(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    std::vector<char> buffer(1 << 16);
    std::uint64_t hash = kFnvStart;
    std::uintmax_t size = 0;
    while (in.read(buffer.data(), static_cast<std::streamsize>(buffer.size())) || in.gcount() > 0) {
        hashInto(hash, buffer.data(), static_cast<std::size_t>(in.gcount()));
        size += static_cast<std::uintmax_t>(in.gcount());
    }
    return fmt::format("{}:{:016x}", size, hash);
}

std::string partDigest(const std::string& description) {
    std::uint64_t hash = kFnvStart;
    hashInto(hash, description.data(), description.size());
    return fmt::format("{:016x}", hash);
}

Tags partTags(const PartRecord& record) {
    Tags tags = {{kSourceTag, record.source}, {kFirstTag, std::to_string(record.first)}};
    if (!record.digest.empty()) tags.emplace_back(kDigestTag, record.digest);
    return tags;
}

std::optional<PartRecord> readPartTags(const AVDictionary* tags, const std::string& path) {
    const AVDictionaryEntry* source = av_dict_get(tags, kSourceTag, nullptr, 0);
    const AVDictionaryEntry* first = av_dict_get(tags, kFirstTag, nullptr, 0);
    if (source == nullptr || first == nullptr || *source->value == '\0') return std::nullopt;
    const AVDictionaryEntry* frames = av_dict_get(tags, kPartFramesTag, nullptr, 0);
    const auto outOfRange = [&] {
        return Error(
            fmt::format("{}: its part tags are out of range ({}={}{}): the part is "
                        "damaged or was not made by drawlet render",
                        path, first->key, first->value,
                        frames != nullptr ? fmt::format(", {}={}", frames->key, frames->value)
                                          : std::string()));
    };
    PartRecord record;
    record.source = source->value;
    const std::optional<long long> firstFrame = toNumber(first->value, 0);
    if (!firstFrame) throw outOfRange();
    record.first = *firstFrame;
    if (frames != nullptr) {
        const std::optional<long long> count = toNumber(frames->value, 1);
        // The frames are numbered in 64 bits: first + frames may not overflow.
        if (!count || *count > LLONG_MAX - record.first) throw outOfRange();
        record.frames = *count;
    }
    if (const AVDictionaryEntry* digest = av_dict_get(tags, kDigestTag, nullptr, 0))
        record.digest = digest->value;
    return record;
}

bool isPartTag(const char* key) {
    for (const char* k : {kSourceTag, kFirstTag, kPartFramesTag, kDigestTag})
        if (strcasecmp(key, k) == 0) return true;
    return false;
}

}  // namespace drawlet::media
