# Our hatching pattern sets: generated at build time beside the module, as Drawlet/img*/h*.bmp.
add_library(drawlet_hatch_sets STATIC ${CMAKE_CURRENT_LIST_DIR}/hatch_sets.cpp)
target_include_directories(drawlet_hatch_sets PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(drawlet_hatch_sets PUBLIC ${OpenCV_LIBS} PRIVATE drawlet_warnings)
target_compile_options(drawlet_hatch_sets PRIVATE -ffp-contract=off)

add_executable(drawlet_patterns ${CMAKE_CURRENT_LIST_DIR}/write_pattern_files.cpp)
target_link_libraries(drawlet_patterns PRIVATE drawlet_hatch_sets drawlet_warnings)

set(pattern_files "")
foreach(folder img img1 img2)
  foreach(i RANGE 6)
    list(APPEND pattern_files ${DRAWLET_PATTERN_DIR}/${folder}/h${i}.bmp)
  endforeach()
endforeach()
add_custom_command(OUTPUT ${pattern_files}
  COMMAND drawlet_patterns ${DRAWLET_PATTERN_DIR}
  DEPENDS drawlet_patterns
  COMMENT "Drawing the hatching pattern sets into ${DRAWLET_PATTERN_DIR}")
add_custom_target(drawlet_pattern_files ALL DEPENDS ${pattern_files})
# Data beside data: the installed module finds them through the link lib/drawlet/Drawlet.
install(DIRECTORY ${DRAWLET_PATTERN_DIR}/ DESTINATION share/drawlet/Drawlet)
