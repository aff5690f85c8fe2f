# Windows: talewick.exe checked to run alone, the Win32 window layer's own tests,
# the installer and the zip. Each test runs in a copy of a Wine prefix that the
# first one boots (program_win32.py).

# A GUI-subsystem program that needs none of the MinGW runtime DLLs.
find_program(TALEWICK_OBJDUMP x86_64-w64-mingw32-objdump)
if(TALEWICK_OBJDUMP)
  talewick_test(talewick_exe_runs_alone
    COMMAND ${TALEWICK_WITH_PACKAGES} bash -c "set -o pipefail; h=$(\"$0\" -p \"$1\") || exit 1; \
grep -q 'Windows GUI' <<<\"$h\" || { echo 'not a GUI-subsystem program'; exit 1; }; \
! grep -iE 'DLL Name: (lib|mingw)' <<<\"$h\""
            ${TALEWICK_OBJDUMP} $<TARGET_FILE:talewick>)
endif()

add_executable(window_layer_win32_test ../e2e_win32/window_layer_win32_test.cpp)
target_link_libraries(window_layer_win32_test PRIVATE talewick_app talewick_window_native
  ${TALEWICK_GTEST_MAIN})
talewick_e2e(window_layer_win32_test COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/harness.py
             $<TARGET_FILE:window_layer_win32_test> --gtest_brief=1 TIMEOUT 300)

# The installer is the package used end to end (without makensis there is none,
# and that test says it is skipped). The zip's programs are the ones the other
# tests run from a folder the user can write to; of the zip itself its layout is
# checked: one folder with the three programs, the word list, README.txt and
# every text of the corpus.
set(_package ${CMAKE_BINARY_DIR}/talewick-${PROJECT_VERSION}-win64-setup.exe)
if(TARGET talewick-search)
  set(_zip_folder talewick-${PROJECT_VERSION}-win64)
  set(_zip_top "")
  foreach(_name README.txt corpus/ corpus/talewick.org/ dictionary.txt talewick-search.exe
          talewick-start.exe talewick.exe)
    string(APPEND _zip_top "${_zip_folder}/${_name} ")
  endforeach()
  file(GLOB _corpus_texts ${PROJECT_SOURCE_DIR}/corpus/talewick.org/*.txt)
  list(LENGTH _corpus_texts _corpus_count)
  talewick_test(package_zip_layout
    COMMAND ${TALEWICK_WITH_PACKAGES} bash -c "set -o pipefail; z=$(\"$0\" -E tar tf \"$1\" | LC_ALL=C sort) || exit 1; \
top=$(grep -v '/corpus/talewick.org/.' <<<\"$z\" | tr '\\n' ' '); \
[ \"$top\" = \"$2\" ] || { echo \"the zip holds: $top\"; exit 1; }; \
n=$(grep -c '^[^/]*/corpus/talewick.org/[^/]*\\.txt$' <<<\"$z\"); \
[ \"$n\" = \"$3\" ] || { echo \"$n of the $3 corpus texts\"; exit 1; }"
            ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}/${_zip_folder}.zip "${_zip_top}" ${_corpus_count}
    TIMEOUT 600 LABELS e2e)
endif()

# Starts a program through CreateProcessW with a wide command line read from a
# UTF-8 file, as Explorer starts a shortcut: Wine's own command line cannot carry
# letters outside the POSIX locale's (start_test.py).
add_executable(wide_start ../e2e_win32/wide_start.cpp)
set(_start_environment TALEWICK_WIDE_START=$<TARGET_FILE:wide_start>)
