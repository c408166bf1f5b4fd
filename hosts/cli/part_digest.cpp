#include "cli/part_digest.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "media/part_tags.h"

namespace drawlet::cli {

namespace {

namespace fs = std::filesystem;

// The folder the module reads its pattern sets from (img/, img1/, ...): its Drawlet folder,
// or the module's own folder when there is none.
fs::path patternFolder(const std::string& modulePath) {
    fs::path folder = fs::path(modulePath).parent_path();
    if (folder.empty()) folder = ".";
    std::error_code ec;
    return fs::is_directory(folder / "Drawlet", ec) ? folder / "Drawlet" : folder;
}

std::vector<fs::path> patternFiles(const fs::path& base) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& set : fs::directory_iterator(base, ec)) {
        if (!set.is_directory(ec) || set.path().filename().string().rfind("img", 0) != 0) continue;
        for (const auto& file : fs::directory_iterator(set.path(), ec))
            if (file.is_regular_file(ec)) files.push_back(file.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

std::string partDescription(const kit::FilterHost& host, const VideoJob& job) {
    std::string text = fmt::format("module {}\n", media::fileDigest(host.modulePath()));
    const fs::path base = patternFolder(host.modulePath());
    for (const fs::path& file : patternFiles(base))
        text += fmt::format("pattern {} {}\n", file.lexically_relative(base).string(),
                            media::fileDigest(file.string()));
    for (const kit::Parameter& p : host.parameters())
        text +=
            fmt::format("{} {} = {}\n", p.kind == kit::ParameterKind::Slider ? "slider" : "check",
                        p.index, host.value(p));
    const media::EncodeOptions& e = job.encode;
    text += fmt::format("codec {}\npixel format {}\ncrf {}\npreset {}\nformat {}\n", e.codec,
                        e.pixelFormat, e.crf, e.preset, e.format);
    for (const auto& [key, value] : e.encoderOptions)
        text += fmt::format("encoder option {}={}\n", key, value);
    text += fmt::format("alpha mask {}\nsequence rate {}\n", job.alphaMask, job.sequenceRate);
    // Only when on, so that parts of a plain render keep the digest they always had.
    if (job.followMotion) text += "follow motion\n";
    return text;
}

}  // namespace drawlet::cli
