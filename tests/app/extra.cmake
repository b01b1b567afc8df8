# The desktop tests start the real program on an X server of their own and
# talk to it over X and the accessibility bus.
if(TARGET app_tests)
  find_package(X11 REQUIRED)
  target_sources(app_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/desktop_session.cpp)
  target_link_libraries(app_tests PRIVATE X11::X11)
endif()

# The renderer the window chooses depends on the display's GL, which the
# sanitizer builds cannot load; this program of its own runs in the plain
# build as well, where the rest of the suite does not.
add_executable(renderer_choice_tests ${CMAKE_CURRENT_LIST_DIR}/renderer_choice_tests.cpp)
target_compile_options(renderer_choice_tests PRIVATE -Wall -Wextra)
target_link_libraries(renderer_choice_tests PRIVATE brenvaldor_test_support)
brenvaldor_precompile(renderer_choice_tests REUSE_FROM brenvaldor_test_support)
gtest_discover_tests(renderer_choice_tests
  DISCOVERY_MODE PRE_TEST
  TEST_PREFIX "app."
  PROPERTIES LABELS app TIMEOUT 120 RESOURCE_LOCK x11_display)
