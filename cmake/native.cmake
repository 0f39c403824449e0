# Native build of the platform-free code, its tests under AddressSanitizer and UBSan.
set(MRV_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
add_compile_options(${MRV_SANITIZE})
add_link_options(${MRV_SANITIZE})

# The fuzz build (preset "fuzz", clang): every object carries libFuzzer's coverage.
option(MRV_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(MRV_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# minizip from the same Debian source as the Windows builds, compiled here so
# that the sanitizers and the fuzzer see into it.
find_package(ZLIB REQUIRED)
set(MRV_MINIZIP_SOURCE ${PROJECT_SOURCE_DIR}/.deps/minizip-src)
add_library(mrv_minizip STATIC ${MRV_MINIZIP_SOURCE}/unzip.c ${MRV_MINIZIP_SOURCE}/ioapi.c)
target_compile_definitions(mrv_minizip PRIVATE NOCRYPT NOUNCRYPT USE_FILE32API)
target_compile_options(mrv_minizip PRIVATE -w)
target_include_directories(mrv_minizip SYSTEM PUBLIC ${MRV_MINIZIP_SOURCE})
target_link_libraries(mrv_minizip PUBLIC ZLIB::ZLIB)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

add_library(mrv_portable STATIC ${MRV_PORTABLE_SOURCES} util/file_read_posix.cpp)
mrv_own_target(mrv_portable)
target_link_libraries(mrv_portable PUBLIC mrv_minizip)

add_executable(portable_tests ${MRV_PORTABLE_TEST_SOURCES})
mrv_own_target(portable_tests)
target_link_libraries(portable_tests PRIVATE mrv_portable GTest::gtest)
gtest_discover_tests(portable_tests TEST_PREFIX "native." DISCOVERY_MODE PRE_TEST)

# libFuzzer targets over the archive reader, the path and name checks and the
# install journal's records; they take only the sources they exercise. clang
# knows no GBK execution character set, so these sources must keep their
# narrow literals ASCII. scripts/fuzz.sh builds and runs them.
if(MRV_FUZZ)
  set(MRV_FUZZ_SOURCES archive/zip_reader.cpp archive/entry_record.cpp archive/entry_name.cpp
                       util/text_path.cpp util/cp936.cpp)
  set(journal_fuzz_SOURCES product/journal_records.cpp util/hex_text.cpp)
  set(kept_record_fuzz_SOURCES net/resume_rules.cpp)
  foreach(fuzzer archive_fuzz path_fuzz journal_fuzz kept_record_fuzz)
    if(NOT DEFINED ${fuzzer}_SOURCES)
      set(${fuzzer}_SOURCES ${MRV_FUZZ_SOURCES})
    endif()
    add_executable(${fuzzer} tests/fuzz/${fuzzer}.cpp ${${fuzzer}_SOURCES})
    target_compile_options(${fuzzer} PRIVATE ${MRV_WARNINGS})
    target_include_directories(${fuzzer} PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${fuzzer} PRIVATE mrv_minizip)
    target_link_options(${fuzzer} PRIVATE -fsanitize=fuzzer)
  endforeach()
endif()

# The layers' include rule (README, Layout), checked with the tests.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME layers.IncludesPointOneWay
         COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/scripts/check_layers.py ${PROJECT_SOURCE_DIR})
