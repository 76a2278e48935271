# Every library the server calls, found on Debian 12.
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)

# Irrlicht 1.8: no CMake config and no .pc file.
find_path(IRRLICHT_INCLUDE_DIR irrlicht.h PATH_SUFFIXES irrlicht REQUIRED)
find_library(IRRLICHT_LIBRARY NAMES Irrlicht REQUIRED)
add_library(Irrlicht::Irrlicht UNKNOWN IMPORTED)
set_target_properties(Irrlicht::Irrlicht PROPERTIES
  IMPORTED_LOCATION "${IRRLICHT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${IRRLICHT_INCLUDE_DIR}")

# AngelScript 2.35: Debian builds it inside its namespace.
find_path(ANGELSCRIPT_INCLUDE_DIR angelscript.h REQUIRED)
find_library(ANGELSCRIPT_LIBRARY NAMES angelscript REQUIRED)
add_library(AngelScript::AngelScript UNKNOWN IMPORTED)
set_target_properties(AngelScript::AngelScript PROPERTIES
  IMPORTED_LOCATION "${ANGELSCRIPT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${ANGELSCRIPT_INCLUDE_DIR}"
  INTERFACE_COMPILE_DEFINITIONS "AS_USE_NAMESPACE")
# The packaged add-ons (the script array); headers in angelscript/.
find_library(ANGELSCRIPT_ADDON_LIBRARY NAMES angelscript-addon REQUIRED)
add_library(AngelScript::Addons UNKNOWN IMPORTED)
set_target_properties(AngelScript::Addons PROPERTIES
  IMPORTED_LOCATION "${ANGELSCRIPT_ADDON_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${ANGELSCRIPT_INCLUDE_DIR}/angelscript"
  INTERFACE_LINK_LIBRARIES AngelScript::AngelScript)

find_package(OpenAL REQUIRED)
pkg_check_modules(VORBISFILE REQUIRED IMPORTED_TARGET vorbisfile vorbis ogg)

find_path(IRCCLIENT_INCLUDE_DIR libircclient.h REQUIRED)
find_library(IRCCLIENT_LIBRARY NAMES ircclient REQUIRED)
add_library(IrcClient::IrcClient UNKNOWN IMPORTED)
set_target_properties(IrcClient::IrcClient PROPERTIES
  IMPORTED_LOCATION "${IRCCLIENT_LIBRARY}"
  INTERFACE_INCLUDE_DIRECTORIES "${IRCCLIENT_INCLUDE_DIR}")

pkg_check_modules(MINIUPNPC REQUIRED IMPORTED_TARGET miniupnpc)
pkg_check_modules(ENET REQUIRED IMPORTED_TARGET libenet)

if(CORVANE_TESTS)
  find_package(GTest REQUIRED)
  # The sound tests write their Ogg Vorbis tones with the encoder.
  pkg_check_modules(VORBISENC REQUIRED IMPORTED_TARGET vorbisenc vorbis ogg)
  include(GoogleTest)
endif()
if(CORVANE_BENCHMARKS)
  find_package(benchmark REQUIRED)
endif()
