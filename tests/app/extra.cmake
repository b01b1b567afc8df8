# The desktop tests start the real program on an X server of their own and
# talk to it over X and the accessibility bus.
if(TARGET app_tests)
  find_package(X11 REQUIRED)
  target_sources(app_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/desktop_session.cpp)
  target_link_libraries(app_tests PRIVATE X11::X11)
endif()
