# The fuzz targets and the station sources each one exercises. Included by the clang fuzz
# project (fuzz/CMakeLists.txt) and by the test build, which replays the committed corpora.
set(MIRVANE_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})
set(MIRVANE_FUZZ_LINK ${MIRVANE_FUZZ_DIR}/../link)
set(MIRVANE_FUZZ_RESULTS ${MIRVANE_FUZZ_DIR}/../results)

set(MIRVANE_FUZZ_TARGETS link_receive_fuzz station_files_fuzz titles_fuzz)

set(link_receive_fuzz_SOURCES
  ${MIRVANE_FUZZ_DIR}/link_receive_fuzz.cpp
  ${MIRVANE_FUZZ_LINK}/AnsiText.cpp ${MIRVANE_FUZZ_LINK}/IniFile.cpp ${MIRVANE_FUZZ_LINK}/Modbus.cpp
  ${MIRVANE_FUZZ_LINK}/RegisterImage.cpp ${MIRVANE_FUZZ_LINK}/RegularFile.cpp ${MIRVANE_FUZZ_LINK}/StandLink.cpp
  ${MIRVANE_FUZZ_LINK}/StandLink.h)
set(station_files_fuzz_SOURCES
  ${MIRVANE_FUZZ_DIR}/station_files_fuzz.cpp
  ${MIRVANE_FUZZ_LINK}/AnsiText.cpp ${MIRVANE_FUZZ_LINK}/IniFile.cpp ${MIRVANE_FUZZ_LINK}/RegisterImage.cpp
  ${MIRVANE_FUZZ_LINK}/RegularFile.cpp ${MIRVANE_FUZZ_LINK}/Settings.cpp)
set(titles_fuzz_SOURCES
  ${MIRVANE_FUZZ_DIR}/titles_fuzz.cpp
  ${MIRVANE_FUZZ_LINK}/AnsiText.cpp ${MIRVANE_FUZZ_LINK}/RegularFile.cpp ${MIRVANE_FUZZ_RESULTS}/ProtocolFile.cpp)

# Adds target NAME built from fuzz target FUZZ's sources, with the sanitizers given.
function(mirvane_add_fuzz_target name fuzz sanitizers)
  add_executable(${name} ${${fuzz}_SOURCES} ${ARGN})
  target_include_directories(${name} PRIVATE ${MIRVANE_FUZZ_LINK} ${MIRVANE_FUZZ_RESULTS})
  # Bounds-checked std::array indexing: InBuff sits inside the link object, where the address
  # sanitizer alone would not see an overrun into the next field.
  target_compile_definitions(${name} PRIVATE _GLIBCXX_ASSERTIONS)
  target_compile_options(${name} PRIVATE -g -O1 -fsanitize=${sanitizers} -fno-sanitize-recover=all
                                         -Wall -Wextra)
  target_link_options(${name} PRIVATE -fsanitize=${sanitizers})
  target_link_libraries(${name} PRIVATE Qt6::Core)
endfunction()
