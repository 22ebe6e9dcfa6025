# qm_add_fuzzer(NAME name SOURCES ... LIBS ... CORPUS dir)
# A libFuzzer target of the fuzz build (QM_FUZZ). ctest replays its committed
# corpus and then fuzzes it briefly (QM_FUZZ_SECONDS) from a scratch copy, so
# the committed seeds never change behind anyone's back.
set(QM_FUZZ_SECONDS 15 CACHE STRING "How long each fuzzer runs under ctest")

function(qm_add_fuzzer)
  if(NOT QM_FUZZ)
    return()
  endif()
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS})
  target_link_options(${F_NAME} PRIVATE -fsanitize=fuzzer)
  set(work ${CMAKE_BINARY_DIR}/fuzz-work/${F_NAME})
  add_test(NAME ${F_NAME}_replay COMMAND ${F_NAME} -runs=0 ${F_CORPUS})
  add_test(NAME ${F_NAME}_brief
    COMMAND ${CMAKE_COMMAND} -E env bash -c
      "rm -rf '${work}' && mkdir -p '${work}' && cp -r '${F_CORPUS}'/. '${work}'/ && \
       exec '$<TARGET_FILE:${F_NAME}>' -max_total_time=${QM_FUZZ_SECONDS} -timeout=10 \
            -rss_limit_mb=2048 -print_final_stats=0 -artifact_prefix='${work}-' '${work}'")
  set_tests_properties(${F_NAME}_brief PROPERTIES TIMEOUT 300)
  set_property(GLOBAL APPEND PROPERTY QM_FUZZERS "$<TARGET_FILE:${F_NAME}>|${F_CORPUS}")
endfunction()
