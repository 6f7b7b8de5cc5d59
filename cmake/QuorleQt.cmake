# The window's extras: its version block, the logo, the help window and the compiled help
# "quorle.qch" beside the program (share/quorle when installed). Included from src/qt.
find_package(Qt6 REQUIRED COMPONENTS Help ToolsTools)

quorle_version_block(quorle)
target_link_libraries(quorle_qt PUBLIC Qt6::Help)
qt_add_resources(quorle_qt "about" PREFIX "/" BASE ${CMAKE_SOURCE_DIR}/resources
                 FILES ${CMAKE_SOURCE_DIR}/resources/quorle-logo.png)

set(help_dir ${CMAKE_SOURCE_DIR}/resources/help)
file(GLOB help_sources CONFIGURE_DEPENDS ${help_dir}/*.html ${help_dir}/*.css)
set(QUORLE_QCH ${CMAKE_BINARY_DIR}/bin/quorle.qch)
add_custom_command(
  OUTPUT ${QUORLE_QCH}
  COMMAND Qt6::qhelpgenerator ${help_dir}/quorle.qhp -o ${QUORLE_QCH}
  DEPENDS ${help_dir}/quorle.qhp ${help_sources}
  COMMENT "Compiling the help into quorle.qch"
  VERBATIM)
add_custom_target(quorle_help ALL DEPENDS ${QUORLE_QCH})
add_dependencies(quorle quorle_help)
install(FILES ${QUORLE_QCH} DESTINATION share/quorle)
