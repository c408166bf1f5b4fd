// The studio's page: plain HTML, CSS and JavaScript files from hosts/studio/page, built into
// the program (embed_page.cmake writes them into a generated source), so that the studio
// needs no files and no network at run time.
#pragma once

#include <span>
#include <string_view>

namespace drawlet::studio {

struct PageFile {
    std::string_view path;  // as requested: "/studio.js"
    std::string_view contentType;
    std::string_view body;
};

std::span<const PageFile> pageFiles();

}  // namespace drawlet::studio
