# libspng for the Windows build, which Debian packages only for Linux: its own source
# package, fetched with `apt-get source` into the build folder once, compiled statically
# against Debian's zlib for mingw (libz-mingw-w64-dev). The package is one C file.
set(spngSources ${CMAKE_BINARY_DIR}/libspng-source)
file(GLOB spngFile ${spngSources}/libspng-*/spng/spng.c)
if(NOT spngFile)
  file(MAKE_DIRECTORY ${spngSources})
  execute_process(COMMAND apt-get source --quiet libspng WORKING_DIRECTORY ${spngSources}
                  RESULT_VARIABLE fetched OUTPUT_QUIET)
  file(GLOB spngFile ${spngSources}/libspng-*/spng/spng.c)
  if(NOT fetched EQUAL 0 OR NOT spngFile)
    message(FATAL_ERROR "apt-get source libspng failed: it needs dpkg-dev and deb-src lines (scripts/install-deps windows)")
  endif()
endif()
enable_language(C)
get_filename_component(spngInclude ${spngFile} DIRECTORY)
find_package(ZLIB REQUIRED)
add_library(spng STATIC ${spngFile})
target_include_directories(spng SYSTEM PUBLIC ${spngInclude})
target_compile_definitions(spng PUBLIC SPNG_STATIC)
target_link_libraries(spng PUBLIC ZLIB::ZLIB)
set_target_properties(spng PROPERTIES C_VISIBILITY_PRESET hidden)
target_compile_options(spng PRIVATE -w)  # not our code: its warnings are upstream's
