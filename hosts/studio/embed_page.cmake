# Writes the studio's page files into a C++ source as byte arrays (see page_files.h).
#   cmake -DPAGE_DIR=<folder> -DOUTPUT=<file.cpp> -DFILES=index.html,studio.css,... -P embed_page.cmake
string(REPLACE "," ";" FILES "${FILES}")
set(arrays "")
set(entries "")
set(n 0)
foreach(name ${FILES})
  file(READ ${PAGE_DIR}/${name} hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(APPEND arrays "const unsigned char kFile${n}[] = {${bytes}};\n")
  if(name MATCHES "\\.html$")
    set(type "text/html; charset=utf-8")
  elseif(name MATCHES "\\.css$")
    set(type "text/css; charset=utf-8")
  elseif(name MATCHES "\\.js$")
    set(type "text/javascript; charset=utf-8")
  elseif(name MATCHES "\\.svg$")
    set(type "image/svg+xml")
  else()
    message(FATAL_ERROR "embed_page.cmake: no content type for ${name}")
  endif()
  string(APPEND entries "        {\"/${name}\", \"${type}\", text(kFile${n}, sizeof kFile${n})},\n")
  math(EXPR n "${n} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Generated from hosts/studio/page by embed_page.cmake: edit the page files instead.
#include \"studio/page_files.h\"

namespace drawlet::studio {

namespace {

${arrays}
std::string_view text(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

}  // namespace

std::span<const PageFile> pageFiles() {
    static const PageFile files[] = {
${entries}    };
    return files;
}

}  // namespace drawlet::studio
")
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
