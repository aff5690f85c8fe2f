# Windows: a Wine prefix booted once per build folder (a fixture; each test runs
# in a copy of it), talewick.exe checked to run alone, the Win32 window layer's
# own tests, and the zip.
talewick_test(e2e_win32_boot_prefix
  COMMAND ${TALEWICK_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/program_win32.py boot
          ${CMAKE_CURRENT_BINARY_DIR}
  TIMEOUT 400 LABELS e2e PROPERTIES FIXTURES_SETUP e2e_platform RESOURCE_LOCK desktop)

# A GUI-subsystem program that needs none of the MinGW runtime DLLs.
find_program(TALEWICK_OBJDUMP x86_64-w64-mingw32-objdump)
if(TALEWICK_OBJDUMP)
  talewick_test(talewick_exe_runs_alone
    COMMAND bash -c "set -o pipefail; h=$(\"$0\" -p \"$1\") || exit 1; \
grep -q 'Windows GUI' <<<\"$h\" || { echo 'not a GUI-subsystem program'; exit 1; }; \
! grep -iE 'DLL Name: (lib|mingw)' <<<\"$h\""
            ${TALEWICK_OBJDUMP} $<TARGET_FILE:talewick>)
endif()

add_executable(window_layer_win32_test ../e2e_win32/window_layer_win32_test.cpp)
target_link_libraries(window_layer_win32_test PRIVATE talewick_app talewick_window talewick_icon
  ${TALEWICK_GTEST_MAIN})
talewick_e2e(window_layer_win32_test COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/harness.py
             $<TARGET_FILE:window_layer_win32_test> --gtest_brief=1 TIMEOUT 300)

set(_package_generator ZIP)
set(_package ${CMAKE_BINARY_DIR}/talewick-${PROJECT_VERSION}-win64.zip)
