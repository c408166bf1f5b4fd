# The Windows module ready to unpack into the editor's plug-in folder:
# Drawlet-VERSION-windows.zip with Drawlet.auf, its Drawlet/img*/h*.bmp pattern sets and a
# read-me in Japanese and English (UTF-8 with a byte-order mark and CRLF line ends, which
# every Windows text editor opens correctly).
set(windows_readme ${DRAWLET_OUTPUT_DIR}/Drawlet-README.txt)
file(READ ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in readme_text)
string(CONFIGURE "${readme_text}" readme_text @ONLY)
string(REPLACE "\n" "\r\n" readme_text "${readme_text}")
string(ASCII 239 187 191 byte_order_mark)
file(WRITE ${windows_readme}.new "${byte_order_mark}${readme_text}")
file(COPY_FILE ${windows_readme}.new ${windows_readme} ONLY_IF_DIFFERENT)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt.in)

set(windows_zip ${DRAWLET_OUTPUT_DIR}/Drawlet-${PROJECT_VERSION}-windows.zip)
add_custom_command(OUTPUT ${windows_zip}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${windows_zip}
  COMMAND ${CMAKE_COMMAND} -E tar cf ${windows_zip} --format=zip
          $<TARGET_FILE_NAME:drawlet_module> Drawlet Drawlet-README.txt
  WORKING_DIRECTORY ${DRAWLET_OUTPUT_DIR}
  DEPENDS drawlet_module drawlet_pattern_files ${windows_readme}
  COMMENT "Packing ${windows_zip}"
  VERBATIM)
add_custom_target(drawlet_windows_zip ALL DEPENDS ${windows_zip})
