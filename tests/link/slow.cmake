# The main window's real time-outs (1300 ms head read, 300 ms pauses): seconds per case.
add_unit_test(link_MainWindowTimeouts SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTimeouts.cpp
              LIBS link LABELS slow)
