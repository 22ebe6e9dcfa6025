# Timing programs for scripts/bench.sh (Windows build, test-only: they go to
# testbin, never to dist). Their sources lie beside the code they measure.
if(WIN32 AND NOT QM_FUZZ)
  set(_qm_bench_out ${CMAKE_BINARY_DIR}/testbin)
  # The clock the timing programs share ("bench/BenchClock.h").
  add_library(qm_bench_clock INTERFACE)
  qm_publish_headers(qm_bench_clock ${REPO_ROOT}/Updater bench/BenchClock.h)

  # The start-up floor: a Windows program that does nothing.
  add_executable(qm_idle WIN32 ${REPO_ROOT}/Updater/bench/Idle.cpp)
  target_link_options(qm_idle PRIVATE -municode)

  add_executable(qm_store_bench ${REPO_ROOT}/Updater/catalogue/bench/StoreBench.cpp)
  target_link_options(qm_store_bench PRIVATE -municode)
  target_link_libraries(qm_store_bench PRIVATE catalogue qm_bench_clock)

  add_executable(qm_md5_bench ${REPO_ROOT}/Updater/engine/bench/Md5Bench.cpp)
  target_link_options(qm_md5_bench PRIVATE -municode)
  target_link_libraries(qm_md5_bench PRIVATE engine qm_bench_clock)

  # The yardstick of the check: its manifest fetches through urlmon alone.
  add_executable(qm_fetch_yardstick WIN32 ${REPO_ROOT}/Updater/engine/bench/FetchYardstick.cpp)
  target_link_options(qm_fetch_yardstick PRIVATE -municode)
  target_link_libraries(qm_fetch_yardstick PRIVATE common urlmon wininet ole32 shell32)

  set(_qm_bench_targets qm_idle qm_store_bench qm_md5_bench qm_fetch_yardstick)

  set_target_properties(${_qm_bench_targets} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${_qm_bench_out})
  add_custom_target(qm_bench DEPENDS ${_qm_bench_targets} Updater)
endif()
