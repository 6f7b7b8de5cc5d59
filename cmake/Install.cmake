# cmake --install: the programs in bin, what they read at run time in share/quorle (found there
# relative to the programs), and what makes the window a desktop application.
install(TARGETS quorle-sim RUNTIME DESTINATION bin)
install(FILES "${CMAKE_SOURCE_DIR}/resources/Default Mix.syx" DESTINATION share/quorle)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION share/doc/quorle)
if(TARGET quorle)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/quorle.desktop DESTINATION share/applications)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/quorle.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endif()
