# The fuzz tree's libjpeg-turbo: the same source package as the Windows builds, compiled here
# with the fuzz tree's sanitizers and coverage instrumentation (and without SIMD, whose
# assembly carries neither), so that libFuzzer sees the decoder's branches and can grow
# inputs that reach row decoding. Only the static library is built.
include(ExternalProject)
file(GLOB _kv_jpeg_src LIST_DIRECTORIES true ${PROJECT_SOURCE_DIR}/build/deps/src/libjpeg-turbo-*)
list(FILTER _kv_jpeg_src EXCLUDE REGEX "\\.(tar|gz|xz|dsc)")
if(NOT _kv_jpeg_src)
  message(FATAL_ERROR "libjpeg-turbo's source is missing under build/deps/src: run ./kivaglobe setup")
endif()
list(GET _kv_jpeg_src 0 _kv_jpeg_src)
set(_kv_jpeg_bin ${CMAKE_BINARY_DIR}/libjpeg-fuzz)
ExternalProject_Add(kv_fuzz_jpeg_build
  SOURCE_DIR ${_kv_jpeg_src}
  BINARY_DIR ${_kv_jpeg_bin}
  CMAKE_ARGS -DCMAKE_C_COMPILER=${CMAKE_C_COMPILER} -DCMAKE_BUILD_TYPE=RelWithDebInfo
             "-DCMAKE_C_FLAGS=-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all"
             -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
             -Wno-dev
  BUILD_COMMAND ${CMAKE_COMMAND} --build ${_kv_jpeg_bin} --target jpeg-static -j 4
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${_kv_jpeg_bin}/libjpeg.a)
add_library(kv_fuzz_jpeg STATIC IMPORTED GLOBAL)
set_target_properties(kv_fuzz_jpeg PROPERTIES
  IMPORTED_LOCATION ${_kv_jpeg_bin}/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES "${_kv_jpeg_bin};${_kv_jpeg_src}")
add_dependencies(kv_fuzz_jpeg kv_fuzz_jpeg_build)
