# The native Linux build: the engine's logic over a simulated wave-out
# device, the fixture generator, the tests and the benchmarks.
find_package(PkgConfig REQUIRED)
pkg_check_modules(VORBIS REQUIRED IMPORTED_TARGET vorbisfile vorbisenc vorbis ogg)
pkg_check_modules(OPUS REQUIRED IMPORTED_TARGET opusfile libopusenc opus)
pkg_check_modules(SPEEXDSP REQUIRED IMPORTED_TARGET speexdsp)
pkg_check_modules(FLAC REQUIRED IMPORTED_TARGET flac)
pkg_check_modules(KISSFFT REQUIRED IMPORTED_TARGET kissfft-float)
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

set(ZEL_SANITIZE "" CACHE STRING "sanitizers for the native build: address,undefined or thread")
option(ZEL_FUZZ "build the libFuzzer target (with clang)" OFF)
if(ZEL_SANITIZE)
  add_compile_options(-fsanitize=${ZEL_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${ZEL_SANITIZE})
endif()
add_compile_options(-Wall -Wextra)

add_library(engine STATIC
  engine/commands.cpp engine/queries.cpp
  engine/streams/state.cpp engine/streams/library.cpp engine/streams/diag.cpp
  engine/decode/worker.cpp engine/decode/opus.cpp engine/decode/flac.cpp engine/decode/source.cpp
  engine/output/waveout.cpp engine/output/output.cpp engine/output/mixer.cpp engine/output/card.cpp
  engine/output/spectrum.cpp engine/output/varispeed.cpp engine/net/fetch.cpp
  engine/native/winapi.cpp engine/native/simdevice.cpp engine/native/simendpoint.cpp engine/native/simhttp.cpp)
target_include_directories(engine PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(engine PUBLIC PkgConfig::VORBIS PkgConfig::OPUS PkgConfig::SPEEXDSP PkgConfig::FLAC PkgConfig::KISSFFT
                                    Threads::Threads)
# The engine's own code names the stream it works on.
target_compile_definitions(engine PRIVATE ZELOV_STREAMS_ONLY)

add_library(fixtures STATIC tools/fixtures.cpp tests/support/reference.cpp)
target_include_directories(fixtures PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(fixtures PUBLIC PkgConfig::VORBIS PkgConfig::OPUS PkgConfig::FLAC)

add_executable(makefixtures tools/makefixtures.cpp)
target_link_libraries(makefixtures PRIVATE fixtures)

add_executable(engineplay-native tools/engineplay.cpp)
target_link_libraries(engineplay-native PRIVATE engine)

enable_testing()
add_executable(enginetests
  tests/engine/support.cpp
  tests/engine/commands_test.cpp tests/engine/convert_test.cpp
  tests/engine/queries_test.cpp tests/engine/worker_test.cpp
  tests/engine/results_test.cpp tests/engine/waveout_test.cpp
  tests/engine/stress_test.cpp tests/engine/seek_test.cpp tests/engine/loop_test.cpp tests/engine/opus_test.cpp tests/engine/streams_test.cpp
  tests/engine/mixer_test.cpp tests/engine/cards_test.cpp tests/engine/flac_test.cpp tests/engine/fetch_test.cpp)
target_link_libraries(enginetests PRIVATE engine fixtures GTest::gtest_main)
add_test(NAME engine COMMAND enginetests)

add_executable(bench_decode bench/decode_cost.cpp)
target_link_libraries(bench_decode PRIVATE engine fixtures)

add_executable(capturecompare tests/wine/capturecompare.cpp)

# The control library's logic (bridge and player) over an in-memory stand-in
# for the Windows services it uses; the player tests drive the real engine
# through it.
add_library(controlcore STATIC
  bridge/calls.cpp bridge/checksum.cpp bridge/deployment.cpp bridge/link.cpp bridge/ownership.cpp bridge/paths.cpp
  control/engineclient.cpp control/errors.cpp control/player.cpp control/tags.cpp
  bridge/native/memorysystem.cpp)
target_include_directories(controlcore PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(controlcore PUBLIC Threads::Threads)

add_executable(zelplay-native tools/zelplay_native.cpp)
target_link_libraries(zelplay-native PRIVATE controlcore engine)

add_executable(bridgetests tests/base/buffer_test.cpp tests/bridge/checksum_test.cpp tests/bridge/bridge_test.cpp)
target_link_libraries(bridgetests PRIVATE controlcore GTest::gtest_main)
add_test(NAME bridge COMMAND bridgetests)

add_executable(controltests
  tests/engine/support.cpp tests/control/errors_test.cpp tests/control/player_test.cpp)
target_link_libraries(controltests PRIVATE controlcore engine fixtures GTest::gtest_main)
add_test(NAME control COMMAND controltests)

# A libFuzzer target over the engine's playback path (clang only).
if(ZEL_FUZZ)
  target_compile_options(engine PRIVATE -fsanitize=fuzzer-no-link)  # coverage for the fuzzer
  add_executable(decode_fuzz tests/fuzz/decode_fuzz.cpp)
  target_compile_options(decode_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_options(decode_fuzz PRIVATE -fsanitize=fuzzer)
  target_link_libraries(decode_fuzz PRIVATE engine)
endif()
