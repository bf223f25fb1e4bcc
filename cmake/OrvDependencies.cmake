# Every dependency comes from Debian's packages (scripts/setup.sh installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET sdl2)
pkg_check_modules(PHYSFS REQUIRED IMPORTED_TARGET physfs)
pkg_check_modules(OPENAL REQUIRED IMPORTED_TARGET openal)
pkg_check_modules(CJSON REQUIRED IMPORTED_TARGET libcjson)
pkg_check_modules(ZLIB REQUIRED IMPORTED_TARGET zlib)
pkg_check_modules(MPG123 REQUIRED IMPORTED_TARGET libmpg123)
pkg_check_modules(EXPAT REQUIRED IMPORTED_TARGET expat)
pkg_check_modules(STB REQUIRED IMPORTED_TARGET stb)

find_library(LODEPNG_LIBRARY lodepng REQUIRED)
add_library(orv_dep_lodepng INTERFACE)
target_link_libraries(orv_dep_lodepng INTERFACE ${LODEPNG_LIBRARY})

# Debian's mruby 3.1: mruby-config prints include paths of its build tree, so
# use the system headers with the defines the library was built with.
find_library(MRUBY_LIBRARY NAMES libmruby.a mruby PATHS /usr/lib REQUIRED)
find_program(MRBC_EXECUTABLE mrbc REQUIRED)
add_library(orv_dep_mruby INTERFACE)
target_compile_definitions(orv_dep_mruby INTERFACE MRB_USE_RATIONAL MRB_USE_COMPLEX)
target_link_libraries(orv_dep_mruby INTERFACE ${MRUBY_LIBRARY} m)

# libcurl is opened at run time; only its header is needed to build.
find_path(CURL_INCLUDE_DIR curl/curl.h REQUIRED)
