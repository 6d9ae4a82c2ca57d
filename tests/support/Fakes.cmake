# The stand-ins for the platform services: a scriptable wave-audio port and a hotkey service. The
# tests and the benchmarks link them; no program and no production library does.
add_library(tellamo_fake_audio STATIC ${CMAKE_CURRENT_LIST_DIR}/FakeWavePort.cpp)
target_include_directories(tellamo_fake_audio PUBLIC ${PROJECT_SOURCE_DIR}/tests)
target_compile_options(tellamo_fake_audio PRIVATE ${TELLAMO_WARNINGS})
target_link_libraries(tellamo_fake_audio PUBLIC tellamo_audio)

if(TELLAMO_BUILD_APP)
  add_library(tellamo_fake_hotkeys STATIC ${CMAKE_CURRENT_LIST_DIR}/FakeHotKeyService.cpp)
  target_include_directories(tellamo_fake_hotkeys PUBLIC ${PROJECT_SOURCE_DIR}/tests)
  target_compile_options(tellamo_fake_hotkeys PRIVATE ${TELLAMO_WARNINGS})
  target_link_libraries(tellamo_fake_hotkeys PUBLIC tellamo_desktop)
endif()
