# Helpers shared by the connection test files.
target_sources(connection_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dialog_helpers.cpp)
