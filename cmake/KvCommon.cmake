# Flags and helpers shared by every target.

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(KV_WINDOWS ON)
else()
  set(KV_WINDOWS OFF)
endif()

option(KV_TESTS "Build the test programs" ON)
option(KV_FUZZ "Build the libFuzzer targets (clang only)" OFF)
option(KV_SANITIZE "Native build: AddressSanitizer and UndefinedBehaviorSanitizer" ON)

# Determinism: no contraction into fused multiply-adds, no fast-math, SSE2 maths on i686,
# so the native, win64 and win32 builds compute the same bits.
add_compile_options(-ffp-contract=off -fno-fast-math -Wall -Wextra -Wno-unused-parameter
                    -Wno-missing-field-initializers)
if(KV_WINDOWS)
  add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # Hosts only promise 4-byte stack alignment on entry; realign where SSE spills need it.
    add_compile_options(-msse2 -mfpmath=sse -mincoming-stack-boundary=2)
    set(KV_WIDTH 32)
  else()
    set(KV_WIDTH 64)
  endif()
  # The runtime is linked in: the DLLs and programs import Windows system DLLs only.
  add_link_options(-static -static-libgcc -static-libstdc++)
else()
  set(KV_WIDTH native)
  if(KV_FUZZ)
    set(KV_WIDTH fuzz)
    add_compile_options(-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
  elseif(KV_SANITIZE)
    set(KV_SAN_FLAGS -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all
                     -fno-omit-frame-pointer)
    add_compile_options(${KV_SAN_FLAGS})
    add_link_options(${KV_SAN_FLAGS})
  endif()
endif()

# Product code: no exceptions, no RTTI (plain procedural C++).
function(kv_product_target tgt)
  target_compile_options(${tgt} PRIVATE -fno-exceptions -fno-rtti)
  target_include_directories(${tgt} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()

# libjpeg-turbo: Debian's package natively, our static cross build under build/deps for mingw.
function(kv_link_jpeg tgt)
  if(KV_WINDOWS)
    set(_deps ${PROJECT_SOURCE_DIR}/build/deps/win${KV_WIDTH})
    if(NOT EXISTS ${_deps}/lib/libjpeg.a)
      message(FATAL_ERROR "libjpeg-turbo for win${KV_WIDTH} is missing: run ./kivaglobe setup")
    endif()
    target_include_directories(${tgt} PRIVATE ${_deps}/include)
    target_link_libraries(${tgt} PRIVATE ${_deps}/lib/libjpeg.a)
  elseif(KV_FUZZ)
    target_link_libraries(${tgt} PRIVATE kv_fuzz_jpeg)
  else()
    find_package(JPEG REQUIRED)
    target_link_libraries(${tgt} PRIVATE JPEG::JPEG)
  endif()
endfunction()
if(KV_FUZZ)
  include(${CMAKE_CURRENT_LIST_DIR}/KvFuzzJpeg.cmake)
endif()

# libpng (with zlib): Debian's package natively, our static cross builds under build/deps for
# mingw (./kivaglobe setup makes them from Debian's source packages).
function(kv_link_png tgt)
  if(KV_WINDOWS)
    set(_deps ${PROJECT_SOURCE_DIR}/build/deps/win${KV_WIDTH})
    if(NOT EXISTS ${_deps}/lib/libpng.a OR NOT EXISTS ${_deps}/lib/libz.a)
      message(FATAL_ERROR "libpng and zlib for win${KV_WIDTH} are missing: run ./kivaglobe setup")
    endif()
    target_include_directories(${tgt} PRIVATE ${_deps}/include)
    target_link_libraries(${tgt} PRIVATE ${_deps}/lib/libpng.a ${_deps}/lib/libz.a)
  else()
    find_package(PNG REQUIRED)
    target_link_libraries(${tgt} PRIVATE PNG::PNG)
  endif()
endfunction()

# GoogleTest is built from Debian's sources in every tree, with that tree's flags.
if(KV_TESTS AND NOT KV_FUZZ)
  if(NOT TARGET gtest)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  endif()
endif()

# One CTest entry per test program; on Windows trees CTest runs it through Wine
# (CMAKE_CROSSCOMPILING_EMULATOR, set by the toolchain files).
function(kv_add_test name)
  if(KV_FUZZ)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gtest gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  # The tree is part of the test name: build/ runs the three trees as one CTest project.
  add_test(NAME ${name}.${KV_WIDTH} COMMAND ${name} ${T_ARGS})
  set_tests_properties(${name}.${KV_WIDTH} PROPERTIES TIMEOUT 900)
endfunction()

# Fuzz targets: only in the clang fuzz tree (build/fuzz, KV_FUZZ=ON). Each one is also a short
# CTest regression run there; `./kivaglobe fuzz NAME SECONDS` runs it for as long as asked.
function(kv_add_fuzzer name)
  if(NOT KV_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(fuzz_${name} ${F_SOURCES})
  target_link_libraries(fuzz_${name} PRIVATE ${F_LIBS})
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  # The committed seeds (tests/fuzz_corpus/NAME) are replayed and grown from; a run of five
  # seconds, a huge allocation or a hang is a finding.
  set(_seeds)
  if(EXISTS ${PROJECT_SOURCE_DIR}/tests/fuzz_corpus/${name})
    set(_seeds ${PROJECT_SOURCE_DIR}/tests/fuzz_corpus/${name})
  endif()
  set(_corpus ${CMAKE_BINARY_DIR}/corpus/${name})
  file(MAKE_DIRECTORY ${_corpus})
  add_test(NAME fuzz_${name}.short COMMAND fuzz_${name} -max_total_time=5 -timeout=5 -rss_limit_mb=2048
           -malloc_limit_mb=512 ${_corpus} ${_seeds})
  set_tests_properties(fuzz_${name}.short PROPERTIES TIMEOUT 300)   # the corpus is replayed first
endfunction()
