# The Windows editions: the 32-bit one (i686, engine zelov.dll) and the
# 64-bit one (x86_64, engine zelov64.dll), with the programs that drive them
# under Wine. libogg, libvorbis, libopus, libopusfile, libspeexdsp, libFLAC
# and kissfft come from cmake/build-deps-mingw.sh.
set(ZEL_DEPS_PREFIX "${CMAKE_BINARY_DIR}/../deps/${CMAKE_SYSTEM_PROCESSOR}" CACHE PATH "mingw builds of the codec libraries")
find_path(VORBIS_INCLUDE vorbis/codec.h PATHS ${ZEL_DEPS_PREFIX}/include NO_DEFAULT_PATH REQUIRED)
find_library(VORBISFILE_LIB libvorbisfile.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(VORBIS_LIB libvorbis.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(OGG_LIB libogg.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(OPUSFILE_LIB libopusfile.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(OPUS_LIB libopus.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(SPEEXDSP_LIB libspeexdsp.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(FLAC_LIB libFLAC.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
find_library(KISSFFT_LIB libkissfft.a PATHS ${ZEL_DEPS_PREFIX}/lib NO_DEFAULT_PATH REQUIRED)
# libFLAC's headers declare its functions as a DLL's unless told otherwise.
add_compile_definitions(FLAC__NO_DLL)
# opusfile.h names libopus's headers without their folder.
set(CODEC_INCLUDE ${VORBIS_INCLUDE} ${VORBIS_INCLUDE}/opus ${VORBIS_INCLUDE}/kissfft)
set(ZEL_CODEC_LIBS ${OPUSFILE_LIB} ${VORBISFILE_LIB} ${VORBIS_LIB} ${OPUS_LIB} ${FLAC_LIB} ${OGG_LIB})

set(CMAKE_CXX_FLAGS_RELEASE "-O2")
if(NOT CMAKE_BUILD_TYPE)
  set(CMAKE_BUILD_TYPE Release)
endif()
add_compile_options(-Wall -Wextra)
# Nothing beyond Windows' own DLLs at run time. Functions in sections of
# their own let the linker leave out those nothing calls. (Not data
# sections: the PE linker would move the engine's zeroed blocks from .bss
# into the file.)
add_compile_options(-ffunction-sections)
# No time stamp in the headers, so that a build of the same sources gives
# the same bytes.
add_link_options(-static -static-libgcc -static-libstdc++ -s -Wl,--gc-sections -Wl,--no-insert-timestamp)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZEL_ENGINE_NAME zelov64)
else()
  set(ZEL_ENGINE_NAME zelov)
endif()

add_library(zelov SHARED
  engine/dllmain.cpp engine/commands.cpp engine/queries.cpp
  engine/streams/state.cpp engine/streams/library.cpp engine/streams/diag.cpp
  engine/decode/worker.cpp engine/decode/opus.cpp engine/decode/flac.cpp engine/decode/source.cpp
  engine/output/waveout.cpp engine/output/output.cpp engine/output/mixer.cpp engine/output/card.cpp
  engine/output/wasapi.cpp engine/output/spectrum.cpp engine/output/varispeed.cpp engine/net/fetch.cpp engine/net/winhttp.cpp engine/${ZEL_ENGINE_NAME}.def)
set_target_properties(zelov PROPERTIES PREFIX "" OUTPUT_NAME ${ZEL_ENGINE_NAME})
target_include_directories(zelov PRIVATE ${CODEC_INCLUDE} ${CMAKE_SOURCE_DIR})
target_link_libraries(zelov PRIVATE ${ZEL_CODEC_LIBS} ${SPEEXDSP_LIB} ${KISSFFT_LIB} winmm ole32 winhttp)
target_link_options(zelov PRIVATE -Wl,--enable-stdcall-fixup -Wl,--subsystem,windows)
# The engine is C-style code that throws nothing: without exceptions it
# carries no unwinding runtime (a third of its size), and without run-time
# type information none of the C++ runtime's exception support, whose
# allocations a library loaded and unloaded again and again would leave
# behind each time.
target_compile_options(zelov PRIVATE -fno-exceptions -fno-rtti)
target_compile_definitions(zelov PRIVATE ZELOV_STREAMS_ONLY)

# Decodes a file with the same libvorbis build as the engine, for the
# bit-exact comparisons of what the device played.
add_executable(refdecode tools/refdecode_main.cpp tests/support/reference.cpp)
target_include_directories(refdecode PRIVATE ${CODEC_INCLUDE} ${CMAKE_SOURCE_DIR})
target_link_libraries(refdecode PRIVATE ${ZEL_CODEC_LIBS})

# The engine's decode cost in this build (bench/run.sh): its worker on a
# device that never waits, which takes WINMM's place (_WINMM_ makes the
# engine call it rather than import), beside the bare libvorbis loop.
add_executable(wine_decode bench/wine_decode.cpp bench/nowaitdevice.cpp tests/support/reference.cpp
  engine/commands.cpp engine/queries.cpp
  engine/streams/state.cpp engine/streams/library.cpp engine/streams/diag.cpp
  engine/decode/worker.cpp engine/decode/opus.cpp engine/decode/flac.cpp engine/decode/source.cpp
  engine/output/waveout.cpp engine/output/output.cpp engine/output/mixer.cpp engine/output/card.cpp
  engine/output/wasapi.cpp engine/output/spectrum.cpp engine/output/varispeed.cpp engine/net/fetch.cpp engine/net/winhttp.cpp)
target_compile_definitions(wine_decode PRIVATE _WINMM_)
target_include_directories(wine_decode PRIVATE ${CODEC_INCLUDE} ${CMAKE_SOURCE_DIR})
target_link_libraries(wine_decode PRIVATE ${ZEL_CODEC_LIBS} ${SPEEXDSP_LIB} ${KISSFFT_LIB} ole32 winhttp)

add_executable(engineplay tools/engineplay.cpp)
target_include_directories(engineplay PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(engineplay PRIVATE user32)

add_executable(winetest tests/wine/enginetest.cpp)
target_include_directories(winetest PRIVATE ${CMAKE_SOURCE_DIR})
target_link_libraries(winetest PRIVATE user32)

# The control's type library, and the C++ declarations of its interfaces,
# from the IDL. Debian's mingw packages ship no .idl files; Wine's do.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZEL_WIDL x86_64-w64-mingw32-widl)
  set(ZEL_WIDL_FLAGS -m64 -I${CMAKE_SOURCE_DIR}/control -I/usr/include/wine/wine/windows -L/usr/lib/x86_64-linux-gnu/wine/x86_64-windows)
else()
  set(ZEL_WIDL i686-w64-mingw32-widl)
  set(ZEL_WIDL_FLAGS -m32 -I${CMAKE_SOURCE_DIR}/control -I/usr/include/wine/wine/windows -L/usr/lib/i386-linux-gnu/wine/i386-windows)
endif()
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/ZelOggPlayer100.tlb ${CMAKE_BINARY_DIR}/ZelOggPlayer100.h
  COMMAND ${ZEL_WIDL} ${ZEL_WIDL_FLAGS} -t -o ${CMAKE_BINARY_DIR}/ZelOggPlayer100.tlb
          ${CMAKE_SOURCE_DIR}/control/ZelOggPlayer100.idl
  COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/stamp-typelib.py ${CMAKE_BINARY_DIR}/ZelOggPlayer100.tlb
  COMMAND ${ZEL_WIDL} ${ZEL_WIDL_FLAGS} -h -o ${CMAKE_BINARY_DIR}/ZelOggPlayer100.h
          ${CMAKE_SOURCE_DIR}/control/ZelOggPlayer100.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/control/ZelOggPlayer100.idl ${CMAKE_SOURCE_DIR}/control/dispids.h
          ${CMAKE_SOURCE_DIR}/cmake/stamp-typelib.py
  VERBATIM)
# The second library imports the first, which widl finds by -L.
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/ZelOggPlayerEx.tlb ${CMAKE_BINARY_DIR}/ZelOggPlayerEx.h
  COMMAND ${ZEL_WIDL} ${ZEL_WIDL_FLAGS} -L${CMAKE_BINARY_DIR} -t -o ${CMAKE_BINARY_DIR}/ZelOggPlayerEx.tlb
          ${CMAKE_SOURCE_DIR}/control/ZelOggPlayerEx.idl
  COMMAND python3 ${CMAKE_SOURCE_DIR}/cmake/stamp-typelib.py ${CMAKE_BINARY_DIR}/ZelOggPlayerEx.tlb
  COMMAND ${ZEL_WIDL} ${ZEL_WIDL_FLAGS} -h -o ${CMAKE_BINARY_DIR}/ZelOggPlayerEx.h
          ${CMAKE_SOURCE_DIR}/control/ZelOggPlayerEx.idl
  DEPENDS ${CMAKE_SOURCE_DIR}/control/ZelOggPlayerEx.idl ${CMAKE_BINARY_DIR}/ZelOggPlayer100.tlb
          ${CMAKE_SOURCE_DIR}/control/dispids.h ${CMAKE_SOURCE_DIR}/cmake/stamp-typelib.py
  VERBATIM)
add_custom_target(typelib ALL DEPENDS ${CMAKE_BINARY_DIR}/ZelOggPlayer100.tlb ${CMAKE_BINARY_DIR}/ZelOggPlayerEx.tlb)

# The release's version, and what goes beside each edition's control in the
# release package: its registration scripts (with Windows line ends, which
# cmd's labels need) and its side-by-side manifests.
file(STRINGS ${CMAKE_SOURCE_DIR}/VERSION ZEL_VERSION LIMIT_COUNT 1)
string(REPLACE "." ";" ZEL_VERSION_PARTS ${ZEL_VERSION})
list(GET ZEL_VERSION_PARTS 0 ZEL_VERSION_MAJOR)
list(GET ZEL_VERSION_PARTS 1 ZEL_VERSION_MINOR)
list(GET ZEL_VERSION_PARTS 2 ZEL_VERSION_PATCH)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(ZEL_EDITION x64)
  set(ZEL_MANIFEST_ARCH amd64)
else()
  set(ZEL_EDITION x86)
  set(ZEL_MANIFEST_ARCH x86)
endif()
configure_file(resources/package/version.h.in ${CMAKE_BINARY_DIR}/version.h @ONLY)
foreach(script register.cmd unregister.cmd)
  configure_file(resources/package/${script}.in ${CMAKE_BINARY_DIR}/package/${script} @ONLY NEWLINE_STYLE CRLF)
endforeach()
foreach(manifest ZelSoftware.ZelOggPlay.manifest program.exe.manifest)
  configure_file(resources/package/${manifest}.in ${CMAKE_BINARY_DIR}/package/${manifest} @ONLY)
endforeach()

# The control's pictures, drawn by a small program of the build machine.
set(ZEL_PICTURES ${CMAKE_BINARY_DIR}/face.bmp ${CMAKE_BINARY_DIR}/toolbox.bmp ${CMAKE_BINARY_DIR}/about.ico)
add_custom_command(
  OUTPUT ${ZEL_PICTURES}
  COMMAND c++ -std=c++17 -O1 -o ${CMAKE_BINARY_DIR}/drawpictures ${CMAKE_SOURCE_DIR}/tools/drawpictures.cpp
  COMMAND ${CMAKE_BINARY_DIR}/drawpictures ${ZEL_PICTURES}
  DEPENDS ${CMAKE_SOURCE_DIR}/tools/drawpictures.cpp
  VERBATIM)

# The control library zeloggplays100.ocx, carrying the engine, the type
# library and the pictures as resources.
add_library(zeloggplays100 SHARED
  com/module.cpp com/registration.cpp com/terminate.cpp
  control/guids.cpp control/factory.cpp control/server.cpp control/zeloggplays100.def
  bridge/calls.cpp bridge/checksum.cpp bridge/deployment.cpp bridge/link.cpp bridge/ownership.cpp bridge/paths.cpp
  bridge/system_win32.cpp
  control/engineclient.cpp control/errors.cpp control/player.cpp control/tags.cpp control/zeloggplay.cpp control/dispatch.cpp control/events.cpp
  control/oleobject.cpp control/inplace.cpp control/view.cpp control/persist.cpp control/timers.cpp
  control/about.cpp
  resources/zeloggplays100.rc)
set_target_properties(zeloggplays100 PROPERTIES PREFIX "" SUFFIX ".ocx" OUTPUT_NAME zeloggplays100)
target_include_directories(zeloggplays100 PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_compile_definitions(zeloggplays100 PRIVATE UNICODE _UNICODE)
target_link_libraries(zeloggplays100 PRIVATE ole32 oleaut32 uuid user32 gdi32 advapi32 shell32)
target_link_options(zeloggplays100 PRIVATE -Wl,--enable-stdcall-fixup -Wl,--subsystem,windows)
set_source_files_properties(resources/zeloggplays100.rc PROPERTIES
  OBJECT_DEPENDS "${CMAKE_BINARY_DIR}/version.h;${CMAKE_BINARY_DIR}/ZelOggPlayer100.tlb;${CMAKE_BINARY_DIR}/ZelOggPlayerEx.tlb;${CMAKE_BINARY_DIR}/${ZEL_ENGINE_NAME}.dll;${ZEL_PICTURES}")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_BINARY_DIR}")
add_dependencies(zeloggplays100 typelib zelov)
add_custom_target(pictures DEPENDS ${ZEL_PICTURES})
add_dependencies(zeloggplays100 pictures)

# The main job's host: plays a file through the control and prints its events.
add_executable(zelplay tools/zelplay.cpp control/guids.cpp)
target_include_directories(zelplay PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_compile_definitions(zelplay PRIVATE UNICODE _UNICODE)
target_link_options(zelplay PRIVATE -municode)
target_link_libraries(zelplay PRIVATE ole32 oleaut32 uuid user32)
add_dependencies(zelplay typelib)

# Calls both classes from another apartment, through the proxies COM makes
# from the type libraries.
add_executable(crossapartment tests/wine/crossapartment.cpp control/guids.cpp)
target_include_directories(crossapartment PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_link_libraries(crossapartment PRIVATE ole32 oleaut32 uuid user32)
add_dependencies(crossapartment typelib)

# The test container that uses the control as real containers do.
add_executable(controltest
  tests/wine/control/main.cpp tests/wine/control/harness.cpp tests/wine/control/registration.cpp
  tests/wine/control/hosting.cpp tests/wine/control/playback.cpp tests/wine/control/deployment.cpp
  tests/wine/control/lifetimes.cpp tests/wine/control/about.cpp tests/wine/control/extended.cpp tests/wine/control/extended2.cpp tests/wine/control/queue.cpp tests/wine/control/web.cpp
  control/guids.cpp)
target_include_directories(controltest PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_compile_definitions(controltest PRIVATE UNICODE _UNICODE)
target_link_options(controltest PRIVATE -municode)
target_link_libraries(controltest PRIVATE ole32 oleaut32 uuid user32 gdi32 advapi32)
add_dependencies(controltest typelib)

# A library of another's, with an interface1 of its own, planted in the
# engine's place by the tests.
add_library(planted SHARED tests/wine/planted.cpp)
set_target_properties(planted PROPERTIES PREFIX "")
target_link_options(planted PRIVATE -Wl,--kill-at)

# Puts the control on screen for the README's pictures (tools/screenshots.sh).
add_executable(showcase tools/showcase.cpp control/guids.cpp)
target_include_directories(showcase PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_compile_definitions(showcase PRIVATE UNICODE _UNICODE)
target_link_options(showcase PRIVATE -municode -mwindows)
target_link_libraries(showcase PRIVATE ole32 oleaut32 uuid user32)
add_dependencies(showcase typelib)

# Measurements of the control under Wine (bench/run.sh).
add_executable(wine_bench bench/wine_bench.cpp control/guids.cpp)
target_include_directories(wine_bench PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR})
target_compile_definitions(wine_bench PRIVATE UNICODE _UNICODE)
target_link_options(wine_bench PRIVATE -municode)
target_link_libraries(wine_bench PRIVATE ole32 oleaut32 uuid user32 winmm ntdll)
add_dependencies(wine_bench typelib)

# The C++ example, over the SDK's headers (the ones the build makes from the
# IDL): the tests run it under Wine.
add_executable(cppexample examples/cpp/play.cpp)
target_include_directories(cppexample PRIVATE ${CMAKE_BINARY_DIR})
target_compile_definitions(cppexample PRIVATE UNICODE _UNICODE)
target_link_options(cppexample PRIVATE -municode)
target_link_libraries(cppexample PRIVATE ole32 oleaut32 uuid user32)
add_dependencies(cppexample typelib)

# Lists the type libraries' members and events, for the check of the
# examples in the other languages.
add_executable(tlbinfo tools/tlbinfo.cpp)
target_compile_definitions(tlbinfo PRIVATE UNICODE _UNICODE)
target_link_options(tlbinfo PRIVATE -municode)
target_link_libraries(tlbinfo PRIVATE ole32 oleaut32)

# Signing, given a certificate (a PKCS#12 file, and a file holding its
# password): the engine is signed before the control library embeds it, and
# the control library once it is linked. Application control (AppLocker,
# WDAC, Smart App Control) and antivirus programs trust signed libraries.
set(ZEL_SIGN_PKCS12 "" CACHE FILEPATH "PKCS#12 file to sign the engine and the control library with")
set(ZEL_SIGN_PASSWORD_FILE "" CACHE FILEPATH "file holding the PKCS#12 file's password")
if(ZEL_SIGN_PKCS12)
  foreach(signed zelov zeloggplays100)
    add_custom_command(TARGET ${signed} POST_BUILD
      COMMAND bash ${CMAKE_SOURCE_DIR}/tools/sign.sh $<TARGET_FILE:${signed}> ${ZEL_SIGN_PKCS12} ${ZEL_SIGN_PASSWORD_FILE}
      VERBATIM)
  endforeach()
endif()
