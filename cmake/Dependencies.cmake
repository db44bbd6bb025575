# Everything Sentrova and its tests are built from. Each one is required: a
# missing package stops the configure with the package to install, so no
# program, test or benchmark is ever left out quietly.
set(SENTROVA_INSTALL_HINT "run 'bash scripts/install-deps.sh' as root (Debian 12)")

macro(sentrova_require found what packages)
  if(NOT ${found})
    message(FATAL_ERROR "Sentrova needs ${what} (Debian: ${packages}); ${SENTROVA_INSTALL_HINT}.")
  endif()
endmacro()

find_package(Qt6 6.4 COMPONENTS Core Network Widgets HttpServer Test)
sentrova_require(Qt6_FOUND "Qt 6 Core, Network, Widgets, HttpServer and Test"
  "qt6-base-dev qt6-httpserver-dev qt6-websockets-dev")
foreach(component Core Network Widgets HttpServer Test)
  sentrova_require(Qt6${component}_FOUND "Qt 6 ${component}" "qt6-base-dev qt6-httpserver-dev qt6-websockets-dev")
endforeach()

find_package(GTest)
sentrova_require(GTest_FOUND "GoogleTest and GoogleMock" "libgtest-dev libgmock-dev")
find_package(benchmark)
sentrova_require(benchmark_FOUND "Google Benchmark" "libbenchmark-dev")
find_package(PkgConfig)
sentrova_require(PkgConfig_FOUND "pkg-config" "pkg-config")
pkg_check_modules(PCRE2 IMPORTED_TARGET libpcre2-16)
sentrova_require(PCRE2_FOUND "PCRE2 (16-bit), the pattern engine's reference in tests" "libpcre2-dev")
pkg_check_modules(LIBMNL IMPORTED_TARGET libmnl)
sentrova_require(LIBMNL_FOUND "libmnl, for the temporary address added to an interface through netlink" "libmnl-dev")
