#include "media/picture_size.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <vector>

#include "kit/error.h"

namespace drawlet::media {

namespace {

// Bytes of a file by position; a read past the end gives what there is.
class FileBytes {
  public:
    explicit FileBytes(const std::string& path) : in_(path, std::ios::binary) {}
    bool good() const { return static_cast<bool>(in_); }
    std::string at(std::uint64_t offset, std::size_t count) {
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(offset));
        std::string bytes(count, '\0');
        in_.read(bytes.data(), static_cast<std::streamsize>(count));
        bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in_.gcount())));
        return bytes;
    }

  private:
    std::ifstream in_;
};

using Size = std::optional<PictureSize>;

std::uint32_t byteAt(const std::string& s, std::size_t i) {
    return static_cast<unsigned char>(s[i]);
}
std::uint32_t be16(const std::string& s, std::size_t i) {
    return byteAt(s, i) << 8 | byteAt(s, i + 1);
}
std::uint32_t be32(const std::string& s, std::size_t i) {
    return be16(s, i) << 16 | be16(s, i + 2);
}
std::uint32_t le16(const std::string& s, std::size_t i) {
    return byteAt(s, i) | byteAt(s, i + 1) << 8;
}
std::uint32_t le32(const std::string& s, std::size_t i) {
    return le16(s, i) | le16(s, i + 2) << 16;
}
long long signed32(std::uint32_t v) { return static_cast<std::int32_t>(v); }

Size pngSize(FileBytes& f) {
    const std::string h = f.at(12, 12);  // the first chunk, IHDR: width, height
    if (h.size() < 12 || h.compare(0, 4, "IHDR") != 0) return std::nullopt;
    return PictureSize{be32(h, 4), be32(h, 8)};
}

// The segments up to the first frame header (SOF0..SOF15, but DHT, JPG and DAC).
Size jpegSize(FileBytes& f) {
    std::uint64_t at = 2;
    for (;;) {
        const std::string marker = f.at(at, 9);
        if (marker.size() < 2 || byteAt(marker, 0) != 0xff) return std::nullopt;
        const std::uint32_t code = byteAt(marker, 1);
        if (code == 0xff) {  // a fill byte
            ++at;
            continue;
        }
        if (code == 0x01 || (code >= 0xd0 && code <= 0xd8)) {  // no length follows
            at += 2;
            continue;
        }
        if (marker.size() < 9 || code == 0xd9 || code == 0xda) return std::nullopt;
        if (code >= 0xc0 && code <= 0xcf && code != 0xc4 && code != 0xc8 && code != 0xcc) {
            // Length, precision, height, width. A height of 0 is given later (DNL).
            const std::uint32_t height = be16(marker, 5), width = be16(marker, 7);
            if (height == 0) return std::nullopt;
            return PictureSize{width, height};
        }
        at += 2 + be16(marker, 2);
    }
}

Size bmpSize(FileBytes& f) {
    const std::string h = f.at(14, 12);
    if (h.size() < 12) return std::nullopt;
    if (le32(h, 0) == 12) return PictureSize{le16(h, 4), le16(h, 6)};  // the OS/2 header
    // A negative height stores the rows top-down.
    return PictureSize{std::abs(signed32(le32(h, 4))), std::abs(signed32(le32(h, 8)))};
}

// The first directory's ImageWidth (256) and ImageLength (257), SHORT or LONG.
Size tiffSize(FileBytes& f) {
    constexpr std::uint32_t kMaxEntries = 4096;
    const std::string head = f.at(0, 8);
    const bool little = head[0] == 'I';
    const auto u16 = [little](const std::string& s, std::size_t i) {
        return little ? le16(s, i) : be16(s, i);
    };
    const auto u32 = [little](const std::string& s, std::size_t i) {
        return little ? le32(s, i) : be32(s, i);
    };
    const std::uint64_t directory = u32(head, 4);
    const std::string count = f.at(directory, 2);
    if (count.size() < 2) return std::nullopt;
    PictureSize size;
    const std::uint32_t entries = std::min(u16(count, 0), kMaxEntries);
    for (std::uint32_t i = 0; i < entries && (size.width == 0 || size.height == 0); ++i) {
        const std::string e = f.at(directory + 2 + 12 * static_cast<std::uint64_t>(i), 12);
        if (e.size() < 12) return std::nullopt;
        const std::uint32_t tag = u16(e, 0), type = u16(e, 2);
        const long long value = type == 3 ? u16(e, 8) : type == 4 ? u32(e, 8) : 0;
        if (tag == 256) size.width = value;
        if (tag == 257) size.height = value;
    }
    if (size.width == 0 || size.height == 0) return std::nullopt;
    return size;
}

// The first chunk after "WEBP": lossy (VP8), lossless (VP8L) or extended (VP8X).
Size webpSize(FileBytes& f) {
    const std::string h = f.at(8, 24);
    if (h.size() < 24 || h.compare(0, 4, "WEBP") != 0) return std::nullopt;
    const std::string chunk = h.substr(4, 4);
    if (chunk == "VP8 ") return PictureSize{le16(h, 18) & 0x3fff, le16(h, 20) & 0x3fff};
    if (chunk == "VP8L") {
        const std::uint32_t bits = le32(h, 13);
        return PictureSize{(bits & 0x3fff) + 1, ((bits >> 14) & 0x3fff) + 1};
    }
    if (chunk == "VP8X")
        return PictureSize{(le32(h, 16) & 0xffffff) + 1, (le32(h, 19) & 0xffffff) + 1};
    return std::nullopt;
}

// Whitespace-separated words, with # comments to the end of the line left out.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::string word;
    bool comment = false;
    for (const char c : text) {
        if (c == '#') comment = true;
        if (c == '\n' || c == '\r') comment = false;
        if (!comment && !std::isspace(static_cast<unsigned char>(c))) {
            word += c;
            continue;
        }
        if (!word.empty()) out.push_back(word);
        word.clear();
    }
    return out;
}

long long number(const std::string& word) {
    if (word.empty() || word.size() > 10 ||
        word.find_first_not_of("0123456789") != std::string::npos)
        return -1;
    return std::stoll(word);
}

// A number of a P1..P6 header as OpenCV's decoder reads it from `at`: whitespace and #
// comments before it (a comment runs to the end of its line, and the byte after that is
// passed over too), its digits, and the one byte after them, whatever it is ("5#3" is 5,
// then 3). -1 when there is none.
long long pnmNumber(const std::string& h, std::size_t& at) {
    const auto next = [&]() -> int {
        return at < h.size() ? static_cast<unsigned char>(h[at++]) : -1;
    };
    int code = next();
    while (code < '0' || code > '9') {
        if (code == '#') {
            do code = next();
            while (code != '\n' && code != '\r' && code != -1);
            code = next();
        } else if (code != -1 && std::isspace(code)) {
            while (code != -1 && std::isspace(code)) code = next();
        } else {
            return -1;
        }
    }
    long long value = 0;
    for (int digits = 1; code >= '0' && code <= '9'; ++digits, code = next()) {
        if (digits > 10) return -1;
        value = value * 10 + (code - '0');
    }
    return value;
}

// P1..P6 and PF/Pf: the width and height after the magic; P7 (PAM): WIDTH and HEIGHT lines.
Size portableSize(FileBytes& f) {
    const std::string head = f.at(0, 1024);
    if (head.size() < 3 || std::string_view("1234567Ff").find(head[1]) == std::string::npos)
        return std::nullopt;
    const std::vector<std::string> w = words(head.substr(2));
    PictureSize size{-1, -1};
    if (head[1] >= '1' && head[1] <= '6') {
        std::size_t at = 2;
        size.width = pnmNumber(head, at);
        size.height = size.width < 0 ? -1 : pnmNumber(head, at);
    } else if (head[1] != '7') {
        if (w.size() < 2) return std::nullopt;
        size = {number(w[0]), number(w[1])};
    }
    for (std::size_t i = 0; head[1] == '7' && i + 1 < w.size() && w[i] != "ENDHDR"; ++i) {
        if (w[i] == "WIDTH") size.width = number(w[i + 1]);
        if (w[i] == "HEIGHT") size.height = number(w[i + 1]);
    }
    if (size.width < 0 || size.height < 0) return std::nullopt;
    return size;
}

// The header's attributes (name, type, byte count, value) up to its dataWindow.
Size exrSize(FileBytes& f) {
    const std::string head = f.at(8, 1 << 16);
    std::size_t at = 0;
    while (at < head.size() && head[at] != '\0') {
        const std::size_t nameEnd = head.find('\0', at);
        const std::size_t typeEnd = head.find('\0', nameEnd + 1);
        if (nameEnd == std::string::npos || typeEnd == std::string::npos ||
            typeEnd + 5 > head.size())
            return std::nullopt;
        const std::uint32_t bytes = le32(head, typeEnd + 1);
        const std::size_t value = typeEnd + 5;
        if (head.compare(at, nameEnd - at, "dataWindow") == 0 && bytes == 16 &&
            value + 16 <= head.size())
            return PictureSize{
                signed32(le32(head, value + 8)) - signed32(le32(head, value)) + 1,
                signed32(le32(head, value + 12)) - signed32(le32(head, value + 4)) + 1};
        at = value + bytes;
    }
    return std::nullopt;
}

// JP2 boxes: the image header (ihdr: height, width) inside the header box (jp2h).
Size jp2Size(FileBytes& f) {
    constexpr int kMaxBoxes = 64;
    std::uint64_t at = 0, end = UINT64_MAX;
    for (int box = 0; box < kMaxBoxes && at < end; ++box) {
        const std::string h = f.at(at, 16);
        if (h.size() < 16) return std::nullopt;
        const std::uint64_t length = be32(h, 0);
        const std::string type = h.substr(4, 4);
        if (type == "ihdr") return PictureSize{be32(h, 12), be32(h, 8)};
        if (type == "jp2h") {
            end = length > 8 ? at + length : UINT64_MAX;
            at += 8;
            continue;
        }
        if (length < 8) return std::nullopt;  // extended lengths and "to the end" hold no header
        at += length;
    }
    return std::nullopt;
}

// A raw JPEG 2000 code stream: its SIZ segment (image and offset sizes).
Size j2kSize(FileBytes& f) {
    const std::string h = f.at(8, 16);
    if (h.size() < 16) return std::nullopt;
    return PictureSize{static_cast<long long>(be32(h, 0)) - be32(h, 8),
                       static_cast<long long>(be32(h, 4)) - be32(h, 12)};
}

// Radiance HDR: text lines, an empty one, then the resolution ("-Y 480 +X 640").
Size radianceSize(FileBytes& f) {
    const std::string head = f.at(0, 1 << 16);
    const std::size_t blank = head.find("\n\n");
    if (blank == std::string::npos) return std::nullopt;
    char first = 0, second = 0;
    long long a = 0, b = 0;
    if (std::sscanf(head.c_str() + blank + 2, "%*[-+]%c %lld %*[-+]%c %lld", &first, &a, &second,
                    &b) != 4)
        return std::nullopt;
    return first == 'Y' ? PictureSize{b, a} : PictureSize{a, b};
}

Size sunRasterSize(FileBytes& f) {
    const std::string h = f.at(4, 8);
    if (h.size() < 8) return std::nullopt;
    return PictureSize{be32(h, 0), be32(h, 4)};
}

struct Format {
    std::string_view magic;
    Size (*size)(FileBytes&);
};

constexpr std::array<Format, 12> kFormats = {{
    {std::string_view("\x89PNG\r\n\x1a\n", 8), pngSize},
    {std::string_view("\xff\xd8", 2), jpegSize},
    {std::string_view("BM", 2), bmpSize},
    {std::string_view("II*\0", 4), tiffSize},
    {std::string_view("MM\0*", 4), tiffSize},
    {std::string_view("RIFF", 4), webpSize},
    {std::string_view("P", 1), portableSize},
    {std::string_view("\x76\x2f\x31\x01", 4), exrSize},
    {std::string_view("\0\0\0\x0cjP  ", 8), jp2Size},
    {std::string_view("\xff\x4f\xff\x51", 4), j2kSize},
    {std::string_view("#?", 2), radianceSize},
    {std::string_view("\x59\xa6\x6a\x95", 4), sunRasterSize},
}};

}  // namespace

std::optional<PictureSize> declaredSize(const std::string& path) {
    FileBytes file(path);
    if (!file.good()) return std::nullopt;
    const std::string head = file.at(0, 8);
    for (const Format& format : kFormats) {
        if (std::string_view(head).substr(0, format.magic.size()) != format.magic) continue;
        const Size size = format.size(file);
        // A header that declares no pixels declares nothing the limit can use.
        if (!size || size->width <= 0 || size->height <= 0) return std::nullopt;
        return size;
    }
    return std::nullopt;
}

void checkPixelLimit(const std::string& what, long long width, long long height,
                     long long maxPixels) {
    if (width <= 0 || height <= 0 || width <= maxPixels / height) return;
    const auto side = std::llround(std::sqrt(static_cast<double>(maxPixels)));
    const std::string square = side * side == maxPixels ? fmt::format(", {}x{}", side, side) : "";
    throw Error(
        fmt::format("{}: {}x{} is more pixels than the limit of {}{} (--max-pixels N "
                    "changes it)",
                    what, width, height, maxPixels, square));
}

}  // namespace drawlet::media
