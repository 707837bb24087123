# Installation and packaging.
include(GNUInstallDirs)
install(TARGETS rowsift RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
