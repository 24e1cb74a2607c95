# libdeflate's compressor for the Windows build, from Debian's source package as libspng
# is: the zlib-format compressor and what it needs, compiled statically.
include(${CMAKE_CURRENT_LIST_DIR}/DebianSource.cmake)
debian_source(libdeflate libdeflate-*/libdeflate.h deflateHeader)
enable_language(C)
get_filename_component(deflateRoot ${deflateHeader} DIRECTORY)
add_library(deflate STATIC
  ${deflateRoot}/lib/deflate_compress.c
  ${deflateRoot}/lib/zlib_compress.c
  ${deflateRoot}/lib/adler32.c
  ${deflateRoot}/lib/utils.c
  ${deflateRoot}/lib/x86/cpu_features.c
)
target_include_directories(deflate SYSTEM PUBLIC ${deflateRoot})
set_target_properties(deflate PROPERTIES C_VISIBILITY_PRESET hidden)
target_compile_options(deflate PRIVATE -w)  # not our code: its warnings are upstream's
