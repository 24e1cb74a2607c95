# libspng for the Windows build, which Debian packages only for Linux: its own source
# package, compiled statically against Debian's zlib for mingw (libz-mingw-w64-dev). The
# package is one C file.
include(${CMAKE_CURRENT_LIST_DIR}/DebianSource.cmake)
debian_source(libspng libspng-*/spng/spng.c spngFile)
enable_language(C)
get_filename_component(spngInclude ${spngFile} DIRECTORY)
find_package(ZLIB REQUIRED)
add_library(spng STATIC ${spngFile})
target_include_directories(spng SYSTEM PUBLIC ${spngInclude})
target_compile_definitions(spng PUBLIC SPNG_STATIC)
target_link_libraries(spng PUBLIC ZLIB::ZLIB)
set_target_properties(spng PROPERTIES C_VISIBILITY_PRESET hidden)
target_compile_options(spng PRIVATE -w)  # not our code: its warnings are upstream's
