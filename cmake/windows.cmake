# Windows build: the setup program and its tests, which ctest runs under Wine.
set(MRV_DEPS ${PROJECT_SOURCE_DIR}/.deps/${MINGW_TARGET})
set(GTest_DIR ${MRV_DEPS}/lib/cmake/GTest)
find_package(GTest REQUIRED CONFIG)

# minizip as scripts/setup.sh builds it from Debian's source, over MinGW's zlib.
add_library(mrv_minizip INTERFACE)
target_include_directories(mrv_minizip SYSTEM INTERFACE ${MRV_DEPS}/include/minizip)
target_link_libraries(mrv_minizip INTERFACE ${MRV_DEPS}/lib/libminizip.a z)

add_compile_definitions(UNICODE _UNICODE STRICT WIN32_LEAN_AND_MEAN NOMINMAX
                        _WIN32_WINNT=0x0601 WINVER=0x0601 _WIN32_IE=0x0700)
# The 32-bit linker drops the jump stub of an import library member that no
# object calls by its plain name; code that calls through the __imp_ pointer
# (a dllimport declaration) leaves every stub unreferenced. For a delay-import
# library that stub is also what the pointer first holds, so the first call
# would jump to address 0. Declared without dllimport, the system functions are
# called through their stubs, which the linker then keeps.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "i686")
  add_compile_definitions(DECLSPEC_IMPORT=)
endif()
add_link_options(-static -static-libgcc -static-libstdc++)

configure_file(cmake/build_config.h.in ${CMAKE_BINARY_DIR}/generated/build_config.h @ONLY)

add_library(mrv_core STATIC
  ${MRV_PORTABLE_SOURCES}
  util/wide_text.cpp
  util/file_system.cpp
  util/working_folder.cpp
  archive/archive_win.cpp
  product/product_record.cpp
  product/copy_policy.cpp
  product/running_check.cpp
  product/package_install.cpp
  util/last_error.cpp
  net/web_session.cpp
  net/text_fetch.cpp
  net/transfer_display.cpp
  net/download.cpp
  framework/window.cpp
  framework/dialog.cpp
  framework/controls.cpp
  framework/message_box.cpp
  framework/thread.cpp
  app/message_helpers.cpp
  app/overwrite_dlg.cpp
  app/backdrop_dialog.cpp
  controls/icon_button.cpp
  controls/link_label.cpp
  controls/browse_edit.cpp
  controls/web_panel.cpp
  controls/group_panel.cpp
  controls/folder_picker.cpp
  controls/shell_folder_browser.cpp
  app/install_dlg_support.cpp
  app/install_dlg.cpp
  app/install_dlg_install.cpp
  app/install_dlg_scripts.cpp
  app/setup_app.cpp
  # Package integrity, free space and the install journal.
  net/package_integrity.cpp
  net/description_check.cpp
  util/disk_space.cpp
  product/install_journal.cpp
  product/install_space.cpp
)
mrv_own_target(mrv_core)
target_include_directories(mrv_core PUBLIC ${CMAKE_BINARY_DIR}/generated)
target_link_libraries(mrv_core PUBLIC mrv_minizip)

# The vendor's signing key lies in one object of its own, in a library after
# mrv_core: a program that brings an object with another key (the test-key
# copy below) never takes this one from the library.
function(mrv_signing_key_object target key)
  target_sources(${target} PRIVATE net/vendor_signing_key.cpp)
  mrv_own_target(${target})
  target_compile_definitions(${target} PRIVATE MRV_VENDOR_SIGNING_KEY="${key}")
endfunction()
add_library(mrv_signing_key STATIC)
mrv_signing_key_object(mrv_signing_key "${VENDOR_SIGNING_KEY}")
target_link_libraries(mrv_core PUBLIC mrv_signing_key)
target_link_libraries(mrv_core PUBLIC advapi32 shell32 shlwapi user32 gdi32 comctl32 wininet
                                      ole32 oleaut32 uuid bcrypt ntdll)

# The icons and the background picture are drawn by res/make_images.py into the
# build folder, where setup.rc finds them.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(MRV_IMAGES_DIR ${CMAKE_BINARY_DIR}/res_images)
set(MRV_IMAGES app.ico backdrop.bmp finish.ico browse_target.ico install_scripts.ico
               install.ico cancel.ico uninstall.ico question.ico)
list(TRANSFORM MRV_IMAGES PREPEND ${MRV_IMAGES_DIR}/)
add_custom_command(OUTPUT ${MRV_IMAGES}
                   COMMAND ${Python3_EXECUTABLE} ${PROJECT_SOURCE_DIR}/res/make_images.py
                           ${MRV_IMAGES_DIR}
                   DEPENDS ${PROJECT_SOURCE_DIR}/res/make_images.py
                   COMMENT "Drawing the icons and the background picture")
add_custom_target(mrv_images DEPENDS ${MRV_IMAGES})
set_source_files_properties(res/setup.rc PROPERTIES OBJECT_DEPENDS
  "${MRV_IMAGES};${PROJECT_SOURCE_DIR}/res/resource.h;${PROJECT_SOURCE_DIR}/res/setup.manifest")

# Links the program's resources into a target.
function(mrv_add_resources target)
  target_sources(${target} PRIVATE res/setup.rc)
  target_include_directories(${target} PRIVATE ${MRV_IMAGES_DIR})
  add_dependencies(${target} mrv_images)
endfunction()

# Links a target to delay-import libraries of system DLLs: each DLL loads at the
# first call of one of its functions rather than before the program starts.
# They come after mrv_core on the link line and before the import libraries
# that mrv_core names, so they win for every function they offer.
function(mrv_delay_import target)
  string(COMPARE EQUAL "${CMAKE_SYSTEM_PROCESSOR}" "i686" narrow)
  foreach(name IN LISTS ARGN)
    find_library(MRV_IMPORT_${name} NAMES lib${name}.a REQUIRED)
    set(delaylib ${CMAKE_BINARY_DIR}/delay_import/lib${name}_delay.a)
    if(NOT TARGET mrv_delay_${name})
      add_custom_command(OUTPUT ${delaylib}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay_import
        COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${CMAKE_DLLTOOL}
                -DIMPORT_LIB=${MRV_IMPORT_${name}} -DDLL=${name}.dll -DSTRIP_UNDERSCORE=${narrow}
                -DOUTPUT=${delaylib} -P ${PROJECT_SOURCE_DIR}/cmake/delay_import.cmake
        DEPENDS ${PROJECT_SOURCE_DIR}/cmake/delay_import.cmake
        COMMENT "Delay-import library of ${name}.dll")
      add_custom_target(mrv_delay_${name} DEPENDS ${delaylib})
    endif()
    add_dependencies(${target} mrv_delay_${name})
    target_link_libraries(${target} PRIVATE ${delaylib})
    list(APPEND def_files ${CMAKE_BINARY_DIR}/delay_import/lib${name}_delay.def)
  endforeach()
  if(narrow)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DPROGRAM=$<TARGET_FILE:${target}>
              "-DDEF_FILES=${def_files}" -P ${PROJECT_SOURCE_DIR}/cmake/check_delay_stubs.cmake
      VERBATIM)
  endif()
endfunction()

# The setup program. The first window needs neither the internet functions, the
# web panel's OLE, the shell and its path functions nor the package checks'
# cryptography (whose start-up under Wine loads GnuTLS): those load when the
# window first uses them.
function(mrv_setup_program target)
  add_executable(${target} WIN32 app/main.cpp ${ARGN})
  mrv_own_target(${target})
  mrv_add_resources(${target})
  target_link_libraries(${target} PRIVATE mrv_core)
  set_target_properties(${target} PROPERTIES OUTPUT_NAME TessalySetup)
  mrv_delay_import(${target} wininet ole32 oleaut32 shell32 shlwapi bcrypt)
  # The program's debug information goes into TessalySetup.exe.debug beside it:
  # Wine reads every section of a program before it starts, and the debug
  # sections are most of the file.
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug TessalySetup.exe TessalySetup.exe.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-debug --add-gnu-debuglink=TessalySetup.exe.debug
            TessalySetup.exe
    WORKING_DIRECTORY $<TARGET_FILE_DIR:${target}>
    VERBATIM)
endfunction()
mrv_setup_program(TessalySetup)

# Authenticode, a deployment setting: with a PFX file, or a key and certificate
# file, the deployment program is signed after the link, so that Windows names
# the vendor in its elevation prompt instead of an unknown publisher. None by
# default: the program stays unsigned. A password is read from a file, so that
# it stands neither in the cache nor on a command line.
set(AUTHENTICODE_PFX "" CACHE FILEPATH "PKCS#12 file with the code-signing key and certificate")
set(AUTHENTICODE_KEY "" CACHE FILEPATH "Code-signing private key (instead of a PFX file)")
set(AUTHENTICODE_CERT "" CACHE FILEPATH "Code-signing certificate (chain) for AUTHENTICODE_KEY")
set(AUTHENTICODE_PASSWORD_FILE "" CACHE FILEPATH "File holding the PFX's or the key's password")
set(AUTHENTICODE_TIMESTAMP_URL "" CACHE STRING "RFC 3161 time-stamp server for the signature")
find_program(MRV_OSSLSIGNCODE osslsigncode)
set(MRV_AUTHENTICODE_ARGUMENTS -DOSSLSIGNCODE=${MRV_OSSLSIGNCODE}
    "-DDESCRIPTION=Morvane Tessaly Setup" -DINFO_URL=${VENDOR_SERVER})
if(AUTHENTICODE_PFX OR AUTHENTICODE_KEY OR AUTHENTICODE_CERT)
  if(NOT AUTHENTICODE_PFX AND NOT (AUTHENTICODE_KEY AND AUTHENTICODE_CERT))
    message(FATAL_ERROR "Authenticode needs AUTHENTICODE_PFX, or AUTHENTICODE_KEY and AUTHENTICODE_CERT")
  endif()
  if(NOT MRV_OSSLSIGNCODE)
    message(FATAL_ERROR "Authenticode signing needs osslsigncode (bash scripts/setup.sh installs it)")
  endif()
  add_custom_command(TARGET TessalySetup POST_BUILD
    COMMAND ${CMAKE_COMMAND} ${MRV_AUTHENTICODE_ARGUMENTS} -DPROGRAM=$<TARGET_FILE:TessalySetup>
            -DPFX=${AUTHENTICODE_PFX} -DKEY=${AUTHENTICODE_KEY} -DCERT=${AUTHENTICODE_CERT}
            -DPASSWORD_FILE=${AUTHENTICODE_PASSWORD_FILE}
            -DTIMESTAMP_URL=${AUTHENTICODE_TIMESTAMP_URL}
            -P ${PROJECT_SOURCE_DIR}/cmake/authenticode_sign.cmake
    COMMENT "Signing TessalySetup.exe (Authenticode)"
    VERBATIM)
endif()
add_test(NAME authenticode.SignsAndVerifies
         COMMAND ${PROJECT_SOURCE_DIR}/tests/cmake/authenticode_test.sh
                 $<TARGET_FILE:TessalySetup> ${CMAKE_BINARY_DIR}/authenticode_test)

# The same program with the public key of tests/fixtures/test_signing_key.pem,
# in test_key/: the end-to-end tests install the test vendor server's signed
# descriptions with it. Only its key object is its own.
set(MRV_TEST_SIGNING_KEY
    c6022092c1118abac5b984d788598754bbc51b94005e4ccbd7a634dd3495462914b99843b1547b2599932dff7c4bd7106f132958c960c24128a8126a1793d1d8)
add_library(mrv_test_signing_key OBJECT)
mrv_signing_key_object(mrv_test_signing_key ${MRV_TEST_SIGNING_KEY})
mrv_setup_program(TessalySetup_test_key $<TARGET_OBJECTS:mrv_test_signing_key>)
set_target_properties(TessalySetup_test_key PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/test_key)

# Every Windows test program runs under Wine through the emulator of the toolchain
# file; the prefix lives in the build folder and is made on first use. All of
# them share the bench display: Wine's desktop process starts with the first
# program and keeps the display it found, so none may start before the display.
# gtest_discover_tests hands each element of a PROPERTIES list on as an argument
# of its own, which would keep only the first fixture; the fixtures are set by a
# file of their own that ctest reads once the discovered tests are known.
function(mrv_wine_tests target)
  gtest_discover_tests(${target} TEST_PREFIX "wine." DISCOVERY_MODE PRE_TEST
                       DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
  set(fixtures display ${ARGN})
  set(fixtures_file ${CMAKE_CURRENT_BINARY_DIR}/${target}_fixtures.cmake)
  file(WRITE ${fixtures_file}
       "foreach(test IN LISTS ${target}_TESTS)\n"
       "  set_tests_properties(\"\${test}\" PROPERTIES FIXTURES_REQUIRED \"${fixtures}\")\n"
       "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${fixtures_file})
endfunction()
add_executable(portable_tests ${MRV_PORTABLE_TEST_SOURCES})
mrv_own_target(portable_tests)
target_link_libraries(portable_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(portable_tests)

add_executable(platform_tests
  tests/test_main.cpp
  tests/bench/registry_fixture.cpp
  tests/util/file_system_test.cpp
  tests/product/product_record_test.cpp
  tests/util/last_error_test.cpp
)
mrv_own_target(platform_tests)
target_link_libraries(platform_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(platform_tests)

add_executable(copy_tests
  tests/test_main.cpp
  tests/product/copy_policy_test.cpp
)
mrv_own_target(copy_tests)
target_link_libraries(copy_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(copy_tests)

add_executable(install_tests
  tests/test_main.cpp
  tests/product/running_check_test.cpp
  tests/product/package_install_test.cpp
)
mrv_own_target(install_tests)
target_link_libraries(install_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(install_tests)

# The product packages that the install tests extract, made beside the test
# program by tests/fixtures/make_install_packages.py.
find_program(MRV_PYTHON3 python3 REQUIRED)

# Test packages that a script of tests/fixtures writes into build/<name> (with
# the ARGS after the folder) before the tests that open them; `marker` is one
# of the files it writes. The target of the same name makes them.
function(mrv_test_packages name script marker comment)
  cmake_parse_arguments(PARSE_ARGV 4 packages "" "" "ARGS;DEPENDS")
  set(folder ${CMAKE_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${folder}/${marker}
    COMMAND ${MRV_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/fixtures/${script} ${folder}
            ${packages_ARGS}
    DEPENDS ${PROJECT_SOURCE_DIR}/tests/fixtures/${script} ${packages_DEPENDS}
    COMMENT "${comment}")
  add_custom_target(${name} DEPENDS ${folder}/${marker})
endfunction()

set(MRV_INSTALL_PACKAGES ${CMAKE_BINARY_DIR}/install_packages)
mrv_test_packages(install_packages make_install_packages.py fresh.zip
                  "Making the install test packages")
add_dependencies(install_tests install_packages standin_MrvCADSetup)

# The archive tests open packages that make_packages.py writes before they run;
# the program reaches them through Wine's drive Z:, which is the root folder.
find_program(MRV_PYTHON3 python3 HINTS /usr/bin REQUIRED)
set(MRV_PACKAGES ${CMAKE_BINARY_DIR}/packages)
add_test(NAME archive.make_packages
         COMMAND ${MRV_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/fixtures/make_packages.py ${MRV_PACKAGES})
set_tests_properties(archive.make_packages PROPERTIES FIXTURES_SETUP archive_packages)

add_executable(archive_tests
  tests/test_main.cpp
  tests/archive/archive_test.cpp
)
mrv_own_target(archive_tests)
target_compile_definitions(archive_tests PRIVATE MRV_PACKAGE_FOLDER="Z:${MRV_PACKAGES}")
target_link_libraries(archive_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(archive_tests archive_packages)

# A display for the tests that open windows; they name the fixture "display".
set(MRV_BENCH ${PROJECT_SOURCE_DIR}/tests/bench)
add_test(NAME bench.display_start COMMAND ${MRV_BENCH}/display start ${CMAKE_BINARY_DIR})
add_test(NAME bench.display_stop COMMAND ${MRV_BENCH}/display stop ${CMAKE_BINARY_DIR})
set_tests_properties(bench.display_start PROPERTIES FIXTURES_SETUP display)
set_tests_properties(bench.display_stop PROPERTIES FIXTURES_CLEANUP display)

# The framework and the window pieces, with real windows on the bench display.
add_executable(ui_tests
  tests/test_main.cpp
  tests/framework/ui_test_support.cpp
  tests/framework/window_test.cpp
  tests/framework/dialog_test.cpp
  tests/framework/thread_test.cpp
  tests/framework/message_box_test.cpp
  tests/app/dialog_templates_test.cpp
  tests/app/overwrite_dlg_test.cpp
  tests/app/backdrop_dialog_test.cpp
)
mrv_own_target(ui_tests)
mrv_add_resources(ui_tests)
target_link_libraries(ui_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(ui_tests)

# Stand-ins for the programs that the setup tool starts (its setup program, the
# uninstaller, the script host): each records how it was started. They land in
# the build folder's standins\ folder.
foreach(standin MrvCADSetup unins000 MrvScript)
  add_executable(standin_${standin} WIN32 tests/fixtures/standin.cpp)
  mrv_own_target(standin_${standin})
  target_link_libraries(standin_${standin} PRIVATE mrv_core)
  set_target_properties(standin_${standin} PROPERTIES OUTPUT_NAME ${standin}
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/standins)
endforeach()

# A DLL that records its loading: planted beside the program under the names
# of the system DLLs it delay-loads, it shows whether the program took it.
add_library(planted_dll SHARED tests/fixtures/planted_dll.cpp)
mrv_own_target(planted_dll)
set_target_properties(planted_dll PROPERTIES PREFIX "" OUTPUT_NAME planted
                      RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/standins)

# The first-window bench (tests/bench/window_bench.sh): a timer that starts a
# program and waits for its window, and the least program with a window to
# compare with.
add_executable(window_timer tests/bench/window_timer.cpp)
mrv_own_target(window_timer)
target_compile_options(window_timer PRIVATE -municode)
target_link_options(window_timer PRIVATE -municode)
add_executable(empty_window WIN32 tests/bench/empty_window.cpp)
mrv_own_target(empty_window)
target_compile_options(empty_window PRIVATE -municode)
target_link_options(empty_window PRIVATE -municode)
set_target_properties(window_timer empty_window PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/window_bench)

# The test vendor web server (tests/fixtures/vendor_server.py); the tests that
# talk to it name the fixture "vendor".
add_test(NAME bench.vendor_start COMMAND ${MRV_BENCH}/vendor start ${CMAKE_BINARY_DIR})
add_test(NAME bench.vendor_stop COMMAND ${MRV_BENCH}/vendor stop ${CMAKE_BINARY_DIR})
set_tests_properties(bench.vendor_start PROPERTIES FIXTURES_SETUP vendor)
set_tests_properties(bench.vendor_stop PROPERTIES FIXTURES_CLEANUP vendor)

add_executable(net_tests
  tests/test_main.cpp
  tests/bench/vendor_server.cpp
  tests/net/test_view.cpp
  tests/net/web_session_test.cpp
  tests/net/download_test.cpp
)
mrv_own_target(net_tests)
target_link_libraries(net_tests PRIVATE mrv_core GTest::gtest wininet comctl32 crypt32)
mrv_wine_tests(net_tests vendor)

# The install window with the prefix's product record. The program lives in a
# folder of its own: the window looks beside the program for "data.cab" and
# script packages, and the build folder's own files are not its business.
add_executable(app_tests
  tests/test_main.cpp
  tests/bench/registry_fixture.cpp
  tests/framework/ui_test_support.cpp
  tests/app/install_dlg_test.cpp
)
mrv_own_target(app_tests)
mrv_add_resources(app_tests)
target_link_libraries(app_tests PRIVATE mrv_core GTest::gtest)
set_target_properties(app_tests PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/app_bench)
set(MRV_APP_PACKAGES ${CMAKE_BINARY_DIR}/app_packages)
mrv_test_packages(app_packages make_app_packages.py large.zip
                  "Making the install window's local package"
                  ARGS $<TARGET_FILE:standin_MrvCADSetup> DEPENDS standin_MrvCADSetup)
target_compile_definitions(app_tests PRIVATE MRV_APP_PACKAGES="Z:${MRV_APP_PACKAGES}")
add_dependencies(app_tests app_packages)
mrv_wine_tests(app_tests)

# The custom controls, with real windows on the bench display.
add_executable(controls_tests
  tests/test_main.cpp
  tests/framework/ui_test_support.cpp
  tests/controls/icon_button_test.cpp
  tests/controls/link_label_test.cpp
  tests/controls/browse_edit_test.cpp
  tests/controls/web_panel_test.cpp
  tests/controls/group_panel_test.cpp
  tests/controls/folder_picker_test.cpp
)
mrv_own_target(controls_tests)
mrv_add_resources(controls_tests)
target_link_libraries(controls_tests PRIVATE mrv_core GTest::gtest)
mrv_wine_tests(controls_tests)

# End-to-end tests: the real TessalySetup.exe, started in folders of their own
# and driven from another process. They talk to an instance of the test vendor
# server of their own (fixture "e2e_vendor", files in e2e/bench), so that the
# texts and packages a scenario puts there change nothing for the network tests.
# make_e2e_site.py writes the packages and script folder they install.
set(MRV_E2E_SITE ${CMAKE_BINARY_DIR}/e2e_site)
add_custom_command(OUTPUT ${MRV_E2E_SITE}/product.zip
  COMMAND ${MRV_PYTHON3} ${PROJECT_SOURCE_DIR}/tests/fixtures/make_e2e_site.py
          ${CMAKE_BINARY_DIR}/standins ${MRV_E2E_SITE}
  DEPENDS ${PROJECT_SOURCE_DIR}/tests/fixtures/make_e2e_site.py
          $<TARGET_FILE:standin_MrvCADSetup> $<TARGET_FILE:standin_MrvScript>
  COMMENT "Making the end-to-end packages")
add_custom_target(e2e_site DEPENDS ${MRV_E2E_SITE}/product.zip)

add_library(e2e_driver STATIC
  tests/bench/registry_fixture.cpp
  tests/bench/vendor_server.cpp
  tests/e2e/ui_driver.cpp
  tests/e2e/setup_scenario.cpp
)
mrv_own_target(e2e_driver)
target_link_libraries(e2e_driver PUBLIC mrv_core GTest::gtest wininet comctl32 z)
add_dependencies(e2e_driver e2e_site TessalySetup TessalySetup_test_key standin_MrvCADSetup
                 standin_MrvScript standin_unins000 planted_dll)

add_executable(e2e_tests
  tests/test_main.cpp
  tests/e2e/install_flow_test.cpp
  tests/e2e/network_test.cpp
  tests/e2e/script_install_test.cpp
  tests/e2e/window_test.cpp
)
mrv_own_target(e2e_tests)
target_link_libraries(e2e_tests PRIVATE e2e_driver)

# The demonstration of scripts/run.sh, with the same driver; not a test.
add_executable(e2e_demo tests/test_main.cpp tests/e2e/demo_run.cpp)
mrv_own_target(e2e_demo)
target_link_libraries(e2e_demo PRIVATE e2e_driver)

add_test(NAME bench.e2e_vendor_start COMMAND ${MRV_BENCH}/vendor start ${CMAKE_BINARY_DIR}/e2e)
add_test(NAME bench.e2e_vendor_stop COMMAND ${MRV_BENCH}/vendor stop ${CMAKE_BINARY_DIR}/e2e)
set_tests_properties(bench.e2e_vendor_start PROPERTIES FIXTURES_SETUP e2e_vendor)
set_tests_properties(bench.e2e_vendor_stop PROPERTIES FIXTURES_CLEANUP e2e_vendor)
mrv_wine_tests(e2e_tests e2e_vendor)

# Package integrity, free space and the install journal. The free-space test
# wants the small disk of tests/bench/small_disk (fixture "small_disk") as T:.
add_executable(integrity_tests
  tests/test_main.cpp
  tests/bench/vendor_server.cpp
  tests/net/package_integrity_test.cpp
  tests/net/description_check_test.cpp
  tests/product/install_journal_test.cpp
  tests/util/disk_space_test.cpp
)
mrv_own_target(integrity_tests)
set(MRV_SPACE_PACKAGES ${CMAKE_BINARY_DIR}/space_packages)
mrv_test_packages(space_packages make_space_packages.py big.zip
                  "Making the free-space test packages")
add_dependencies(integrity_tests space_packages)
target_compile_definitions(integrity_tests PRIVATE MRV_BENCH_FOLDER="Z:${CMAKE_BINARY_DIR}/bench"
                                                   MRV_SPACE_PACKAGES="Z:${MRV_SPACE_PACKAGES}")
target_link_libraries(integrity_tests PRIVATE mrv_core GTest::gtest wininet crypt32)
mrv_wine_tests(integrity_tests vendor small_disk)
add_test(NAME bench.small_disk_start
         COMMAND ${MRV_BENCH}/small_disk start ${CMAKE_BINARY_DIR} $<TARGET_FILE:integrity_tests>)
add_test(NAME bench.small_disk_stop COMMAND ${MRV_BENCH}/small_disk stop ${CMAKE_BINARY_DIR})
set_tests_properties(bench.small_disk_start PROPERTIES FIXTURES_SETUP small_disk)
set_tests_properties(bench.small_disk_stop PROPERTIES FIXTURES_CLEANUP small_disk)
# The start-up recovery of a cut-off install, with the end-to-end driver.
target_sources(e2e_tests PRIVATE tests/e2e/install_recovery_test.cpp)

# The headless engine that scripts/bench.sh times beside the native tools; not a test.
add_executable(engine_bench tests/bench/engine_bench.cpp)
mrv_own_target(engine_bench)
target_link_libraries(engine_bench PRIVATE mrv_core psapi)
