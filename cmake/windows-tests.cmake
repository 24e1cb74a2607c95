# Running Windows tests here: ctest starts each test program under Wine, in a Wine prefix
# of its own inside the build folder. `make test-windows` keeps one wineserver running for
# the whole run, which makes each start take hundredths of a second instead of seconds.
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING))
  return()
endif()
find_program(PELLICAR_WINE wine REQUIRED)
set(PELLICAR_WINEPREFIX ${CMAKE_BINARY_DIR}/wine)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${CMAKE_COMMAND} -E env WINEPREFIX=${PELLICAR_WINEPREFIX} WINEDEBUG=-all ${PELLICAR_WINE})
endif()
# Test lists are read when ctest runs, when the wineserver is up, not while building.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
