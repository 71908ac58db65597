# Installation, the Debian package and the translations.
find_package(Qt6 REQUIRED COMPONENTS Network)

# Runs the vemo program itself, so it needs the catalogue lrelease built for
# it in the build tree.
vemo_add_test(packaging_locale_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/packaging_locale_test.cpp
  LIBS Qt6::Network TIMEOUT 240)
target_compile_definitions(packaging_locale_test PRIVATE
  VEMO_BINARY="$<TARGET_FILE:vemo>"
  VEMO_TS_FILE="${PROJECT_SOURCE_DIR}/translations/vemo_de.ts"
  VEMO_QM_FILE="${VEMO_BUILD_TRANSLATIONS_DIR}/vemo_de.qm")
add_dependencies(packaging_locale_test vemo)

add_test(NAME packaging_translations_test
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/packaging_translations_test.sh
          $<TARGET_FILE:Qt6::lupdate> ${PROJECT_SOURCE_DIR}
          ${PROJECT_SOURCE_DIR}/translations/vemo_de.ts ${VEMO_TRANSLATED_SOURCE_DIRS})
set_tests_properties(packaging_translations_test PROPERTIES TIMEOUT 120)

add_test(NAME packaging_deb_test
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/packaging_deb_test.sh ${CMAKE_CPACK_COMMAND} ${CMAKE_BINARY_DIR})
set_tests_properties(packaging_deb_test PROPERTIES TIMEOUT 600)
if(VEMO_SANITIZE STREQUAL "address")
  set_property(TEST packaging_deb_test APPEND PROPERTY ENVIRONMENT
    "LSAN_OPTIONS=suppressions=${CMAKE_CURRENT_LIST_DIR}/sanitizers/lsan.supp:print_suppressions=0"
    "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0"
    "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
endif()
