# The caption face: the glyphs of the program's own texts, cut at build time from the system's
# CJK face by tools/fonts/caption_font.py and compiled in, so the window maps a few hundred
# kilobytes of font at start instead of megabytes of the 19 MB collection. Needs fc-match,
# the Noto Sans CJK SC faces (fonts-noto-cjk) and a Python with fontTools (fonttools); where
# one is missing the program is built without it and draws every caption from the system's
# face, as it looks the same.
#
# Included by the folder of the target that compiles it (a generated source belongs to its
# folder); sets MZR_CAPTION_FONT_SOURCE (the generated source, or empty).

set(MZR_CAPTION_FONT_SOURCE "")

function(mzr_find_face style out_file out_index)
  set(${out_file} "" PARENT_SCOPE)
  if(NOT MZR_FC_MATCH)
    return()
  endif()
  execute_process(COMMAND ${MZR_FC_MATCH} -f "%{family}|%{file}|%{index}" "Noto Sans CJK SC:style=${style}"
                  OUTPUT_VARIABLE match RESULT_VARIABLE rc ERROR_QUIET)
  string(REPLACE "|" ";" parts "${match}")
  list(LENGTH parts n)
  if(NOT rc EQUAL 0 OR NOT n EQUAL 3)
    return()
  endif()
  list(GET parts 0 family)
  list(GET parts 1 file)
  list(GET parts 2 index)
  if(family MATCHES "Noto Sans CJK SC" AND EXISTS "${file}")
    set(${out_file} "${file}" PARENT_SCOPE)
    set(${out_index} "${index}" PARENT_SCOPE)
  endif()
endfunction()

find_program(MZR_FC_MATCH fc-match)
# Debian's interpreter first: fontTools comes as a Debian package, and a python3 from another
# installation earlier on PATH would not have it.
find_program(MZR_FONT_PYTHON NAMES python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(NOT MZR_FONT_PYTHON)
  find_program(MZR_FONT_PYTHON NAMES python3)
endif()
set(have_tools FALSE)
if(MZR_FONT_PYTHON)
  execute_process(COMMAND ${MZR_FONT_PYTHON} -c "import fontTools.subset" RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(rc EQUAL 0)
    set(have_tools TRUE)
  endif()
endif()
mzr_find_face(Regular regular_file regular_index)
mzr_find_face(Bold bold_file bold_index)

if(have_tools AND regular_file AND bold_file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/CaptionFontData.cpp)
  file(GLOB_RECURSE texts CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/src/*.cpp ${PROJECT_SOURCE_DIR}/src/*.h)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${MZR_FONT_PYTHON} ${PROJECT_SOURCE_DIR}/tools/fonts/caption_font.py ${out} ${PROJECT_SOURCE_DIR}/src
            ${regular_file} ${regular_index} ${bold_file} ${bold_index}
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/fonts/caption_font.py ${texts} ${regular_file} ${bold_file}
    COMMENT "Cutting the caption face from ${regular_file}"
    VERBATIM)
  set(MZR_CAPTION_FONT_SOURCE ${out})
  # The cut is a modified version of a face under the SIL Open Font License: its licence
  # goes with the program.
  if(EXISTS /usr/share/doc/fonts-noto-cjk/copyright)
    install(FILES /usr/share/doc/fonts-noto-cjk/copyright DESTINATION share/doc/mzr4700 RENAME caption-font-copyright)
  endif()
  message(STATUS "Caption face: cut from ${regular_file} (${regular_index}) and ${bold_file} (${bold_index})")
else()
  message(STATUS "Caption face: not built (needs fc-match, fonts-noto-cjk and fonttools); the system's face is used")
endif()
