# Replays the seed corpus and every input that once crashed the fuzzer under AddressSanitizer and
# UBSan, as part of the normal test run (any compiler; no libFuzzer needed). The codec sources are
# compiled into the replay executable itself so that they carry the sanitizers too.
#   ctest -L fuzz     runs only this
if(TARGET gif_fuzz_replay)
  return()
endif()
set(_replay_dir ${CMAKE_CURRENT_LIST_DIR})
get_filename_component(_replay_root ${_replay_dir}/../.. ABSOLUTE)
file(GLOB _replay_sources CONFIGURE_DEPENDS ${_replay_root}/src/gif/src/*.cpp ${_replay_root}/src/graphics/src/*.cpp)
add_executable(gif_fuzz_replay ${_replay_dir}/gif_load_fuzzer.cpp ${_replay_dir}/replay_main.cpp ${_replay_sources})
target_include_directories(gif_fuzz_replay PRIVATE ${_replay_root}/src/gif/include ${_replay_root}/src/gif/src
                                                   ${_replay_root}/src/graphics/include)
target_compile_options(gif_fuzz_replay PRIVATE -O1 -g -fsanitize=address,undefined -fno-omit-frame-pointer
                                               -fno-sanitize-recover=undefined)
target_link_options(gif_fuzz_replay PRIVATE -fsanitize=address,undefined)
target_compile_options(gif_fuzz_replay PRIVATE -Wall -Wextra $<$<BOOL:${CLIPSMITH_WERROR}>:-Werror>)
target_compile_features(gif_fuzz_replay PRIVATE cxx_std_20)
add_test(NAME gif_fuzz_replay COMMAND gif_fuzz_replay ${_replay_dir}/corpus ${_replay_dir}/crashes)
set_tests_properties(gif_fuzz_replay PROPERTIES LABELS "fuzz;asan" TIMEOUT 60
                     ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")

# The same for the video decoder's open-and-step path (media_open_fuzzer.cpp) over its corpus of
# small clips, when the video engine is built.
if(TARGET clipsmith_video_core AND NOT TARGET media_fuzz_replay)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(MEDIA_FUZZ_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
  find_package(Qt6 REQUIRED COMPONENTS Core)
  add_executable(media_fuzz_replay ${_replay_dir}/media_open_fuzzer.cpp ${_replay_dir}/replay_main.cpp
                 ${_replay_root}/src/video/src/media_graph_decoder.cpp ${_replay_root}/src/video/src/frame_orientation.cpp)
  target_include_directories(media_fuzz_replay PRIVATE ${_replay_root}/src/video/include ${_replay_root}/src/video/src
                                                     ${_replay_root}/src/graphics/include)
  target_link_libraries(media_fuzz_replay PRIVATE PkgConfig::MEDIA_FUZZ_FFMPEG Qt6::Core)
  target_compile_options(media_fuzz_replay PRIVATE -O1 -g -fsanitize=address,undefined -fno-omit-frame-pointer
                                                   -fno-sanitize-recover=undefined
                                                   -Wall -Wextra $<$<BOOL:${CLIPSMITH_WERROR}>:-Werror>)
  target_link_options(media_fuzz_replay PRIVATE -fsanitize=address,undefined)
  target_compile_features(media_fuzz_replay PRIVATE cxx_std_20)
  add_test(NAME media_fuzz_replay COMMAND media_fuzz_replay ${_replay_dir}/media_corpus)
  set_tests_properties(media_fuzz_replay PROPERTIES LABELS "fuzz;asan" TIMEOUT 300
                       ENVIRONMENT "ASAN_OPTIONS=detect_leaks=1:abort_on_error=1;UBSAN_OPTIONS=print_stacktrace=1")
endif()
