# Where an installation puts everything beyond the programs themselves, and the Debian
# package made of it (cpack -G DEB):
#   bin/drawlet -> ../lib/drawlet/drawlet        lib/drawlet/{drawlet,Drawlet.auf,drawlet.so}
#   lib/drawlet/Drawlet -> ../../share/drawlet/Drawlet (the pattern sets, beside the module)
#   lib/frei0r-1/drawlet.so -> ../drawlet/drawlet.so (ffmpeg's and MLT's default search path)
#   include/drawlet/drawlet_filter.h             (the filter interface, for hosts in C)
#   share/drawlet/looks/*.json                   share/kdenlive/effects/frei0r_drawlet*.xml
#   share/shotcut/qml/filters/drawlet/           share/man/man1/drawlet.1.gz
#   share/bash-completion/completions/drawlet    share/zsh/vendor-completions/_drawlet
#   share/doc/drawlet/{copyright,changelog.gz}   share/lintian/overrides/drawlet

# A relative symbolic link LINK -> TARGET in the installation, also under DESTDIR.
function(drawlet_install_link link target)
  get_filename_component(folder ${link} DIRECTORY)
  install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${folder}\")
    file(CREATE_LINK ${target} \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${link}\" SYMBOLIC)")
endfunction()

drawlet_install_link(${DRAWLET_MODULE_INSTALL_DIR}/Drawlet ../../share/drawlet/Drawlet)
if(TARGET drawlet_frei0r)
  drawlet_install_link(lib/frei0r-1/drawlet.so ../drawlet/drawlet.so)
endif()

# Made by the built drawlet from its own definitions and the parameter table.
set(generated ${CMAKE_BINARY_DIR}/generated)
set(drawlet_program $<TARGET_FILE:drawlet>)
set(generated_files ${generated}/drawlet.1.gz ${generated}/drawlet.bash ${generated}/_drawlet)
# sh -c 'COMMAND' PROGRAM FILE: the program's output into the file.
add_custom_command(OUTPUT ${generated_files}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}
  COMMAND sh -c "\"$0\" manual | gzip -9n > \"$1\"" ${drawlet_program} ${generated}/drawlet.1.gz
  COMMAND sh -c "\"$0\" completion bash > \"$1\"" ${drawlet_program} ${generated}/drawlet.bash
  COMMAND sh -c "\"$0\" completion zsh > \"$1\"" ${drawlet_program} ${generated}/_drawlet
  DEPENDS drawlet drawlet_module
  COMMENT "Writing the manual page and the shell completions"
  VERBATIM)

# A Kdenlive effect per named look, for the looks present when the build is configured.
file(GLOB look_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/looks/*.json)
set(kdenlive_looks "")
foreach(look_file ${look_files})
  get_filename_component(look ${look_file} NAME_WE)
  set(out ${generated}/kdenlive/frei0r_drawlet_look_${look}.xml)
  add_custom_command(OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/kdenlive
    COMMAND sh -c "\"$0\" params --format kdenlive --settings \"$1\" --look-name \"$2\" > \"$3\""
            ${drawlet_program} ${look_file} ${look} ${out}
    DEPENDS drawlet drawlet_module ${look_file}
    COMMENT "Writing the Kdenlive effect of the look ${look}"
    VERBATIM)
  list(APPEND kdenlive_looks ${out})
endforeach()
add_custom_target(drawlet_generated_docs ALL DEPENDS ${generated_files} ${kdenlive_looks})

install(FILES ${generated}/drawlet.1.gz DESTINATION share/man/man1)
install(FILES ${generated}/drawlet.bash DESTINATION share/bash-completion/completions
        RENAME drawlet)
install(FILES ${generated}/_drawlet DESTINATION share/zsh/vendor-completions)
install(FILES ${PROJECT_SOURCE_DIR}/hosts/frei0r/frei0r_drawlet.xml ${kdenlive_looks}
        DESTINATION share/kdenlive/effects)
install(FILES ${PROJECT_SOURCE_DIR}/hosts/frei0r/shotcut/meta_drawlet.qml
        ${PROJECT_SOURCE_DIR}/hosts/frei0r/shotcut/ui.qml
        DESTINATION share/shotcut/qml/filters/drawlet)
if(look_files)
  install(FILES ${look_files} DESTINATION share/drawlet/looks)
endif()

# The package's own documents: Debian wants a copyright file and a compressed changelog.
set(doc_dir share/doc/drawlet)
configure_file(${PROJECT_SOURCE_DIR}/packaging/changelog.in ${generated}/changelog @ONLY)
add_custom_command(OUTPUT ${generated}/changelog.gz
  COMMAND gzip -9nc ${generated}/changelog > ${generated}/changelog.gz
  DEPENDS ${generated}/changelog)
add_custom_target(drawlet_changelog ALL DEPENDS ${generated}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${generated}/changelog.gz
        DESTINATION ${doc_dir})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides
        RENAME drawlet)

# A stripped installation (cpack strips) drops the compilers' .comment notes too, as Debian's
# packages do.
set(installed_binaries $<TARGET_FILE_NAME:drawlet> $<TARGET_FILE_NAME:drawlet_module>)
if(TARGET drawlet_frei0r)
  list(APPEND installed_binaries $<TARGET_FILE_NAME:drawlet_frei0r>)
endif()
install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  foreach(binary ${installed_binaries})
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${DRAWLET_MODULE_INSTALL_DIR}/\${binary}\"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
endif()")

set(CPACK_PACKAGE_NAME drawlet)
set(CPACK_PACKAGE_VENDOR "Drawlet developers")
set(CPACK_PACKAGE_CONTACT "Drawlet developers <drawlet@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "hand-drawn look for pictures and videos: hatching and strokes")
set(CPACK_PACKAGE_DESCRIPTION
    "Drawlet turns every frame of a picture or video into a hand-drawn-looking
one: hatching laid by brightness, strokes along the edges, or a gray
line-and-shading mask.
.
This package holds the filter module with its hatching pattern sets, the
drawlet command (pictures, videos, image sequences and render-farm parts),
and a frei0r filter for ffmpeg, melt, Kdenlive and Shotcut, with the
descriptions those editors show it with.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ffmpeg, melt")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "kdenlive, shotcut")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/deb-without-ldconfig.cmake)
set(CPACK_GENERATOR DEB)
include(CPack)
