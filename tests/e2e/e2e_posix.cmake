# Linux: the GTK window layer's own tests on a desktop, the launcher against
# stand-ins for its two programs, and the .deb, which lintian must find nothing in.
add_executable(window_layer_gtk_test ../e2e_gtk/window_layer_gtk_test.cpp)
target_link_libraries(window_layer_gtk_test PRIVATE talewick_window_native ${TALEWICK_GTEST_MAIN})
talewick_e2e(e2e_gtk_window_layer COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/harness.py
             $<TARGET_FILE:window_layer_gtk_test> --gtest_brief=1 TIMEOUT 180
             ENVIRONMENT G_DEBUG=fatal-warnings)

talewick_test(launcher_test COMMAND ${TALEWICK_PYTHON3} ${CMAKE_CURRENT_SOURCE_DIR}/launcher_test.py
  TIMEOUT 180 ENVIRONMENT TALEWICK_START=$<TARGET_FILE:talewick-start> PYTHONDONTWRITEBYTECODE=1)

# Every mutant of the mutation script still names code that stands once, so that
# the script measures what it says it measures.
talewick_test(mutation_snippets COMMAND ${TALEWICK_PYTHON3}
  ${PROJECT_SOURCE_DIR}/scripts/mutation_test.py --check TIMEOUT 60)

execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE _arch
                OUTPUT_STRIP_TRAILING_WHITESPACE)
set(_package ${CMAKE_BINARY_DIR}/talewick_${PROJECT_VERSION}_${_arch}.deb)
find_program(TALEWICK_LINTIAN lintian)
if(TALEWICK_LINTIAN AND TARGET talewick-search)
  # Every tag lintian knows, down to the pedantic ones, fails the package.
  talewick_test(package_lintian COMMAND ${TALEWICK_WITH_PACKAGES} ${TALEWICK_LINTIAN} --info
    --pedantic --fail-on error,warning,info,pedantic ${_package} TIMEOUT 600 LABELS e2e)
endif()

# The search service behind HAProxy as the package ships it: two shards, one of
# two replicas, one replica killed mid-run and no search failed (skipped where
# haproxy is missing); and the package's service unit, as systemd reads it.
if(TARGET talewick-search)
  talewick_test(balancer_failover
    COMMAND ${TALEWICK_PYTHON3} ${PROJECT_SOURCE_DIR}/scripts/bench_search.py --balanced
            --build ${CMAKE_BINARY_DIR} --sizes 2 --seconds 6 --clients 4
            --work ${CMAKE_CURRENT_BINARY_DIR}/balancer
    TIMEOUT 300 LABELS e2e)
  talewick_test(package_service_unit
    COMMAND ${TALEWICK_WITH_PACKAGES} bash ${CMAKE_CURRENT_SOURCE_DIR}/service_unit_test.sh
            ${_package}
    TIMEOUT 600 LABELS e2e)
endif()
