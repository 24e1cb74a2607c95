# Libraries that Debian packages for Linux only are built for Windows from Debian's own
# source package: fetched with `apt-get source` into the build folder once. Sets `out`
# to the files matching `pattern` (a glob under the unpacked source).
function(debian_source package pattern out)
  set(sources ${CMAKE_BINARY_DIR}/${package}-source)
  file(GLOB found ${sources}/${pattern})
  if(NOT found)
    file(MAKE_DIRECTORY ${sources})
    execute_process(COMMAND apt-get source --quiet ${package} WORKING_DIRECTORY ${sources}
                    RESULT_VARIABLE fetched OUTPUT_QUIET)
    file(GLOB found ${sources}/${pattern})
    if(NOT fetched EQUAL 0 OR NOT found)
      message(FATAL_ERROR "apt-get source ${package} failed: it needs dpkg-dev and deb-src lines (scripts/install-deps windows)")
    endif()
  endif()
  set(${out} ${found} PARENT_SCOPE)
endfunction()
