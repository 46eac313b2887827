# Where an installation puts each kind of file, relative to its prefix. packaging/CMakeLists.txt
# installs by these values, and the programs find their own files by the same values, through the
# generated header InstallLayout.h. BREVANT_PRIVATE_LIBDIR comes from cmake/BuildSettings.cmake,
# which gives the executables their run path into it.
include(GNUInstallDirs)
set(BREVANT_HELPDIR "${CMAKE_INSTALL_DATADIR}/brevant/help")
set(BREVANT_DOCDIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/brevant")
set(BREVANT_APP_ID "org.brevant.Brevant")
# The system group whose members may power the machine off unattended (the polkit rule) and read
# the administrator's /etc/brevant/Halvic.conf.
set(BREVANT_GROUP "brevant")
set(BREVANT_POLKIT_RULE "${CMAKE_INSTALL_DATADIR}/polkit-1/rules.d/50-brevant.rules")

configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.h.in ${CMAKE_BINARY_DIR}/generated/InstallLayout.h @ONLY)
target_include_directories(brevant_build_settings INTERFACE ${CMAKE_BINARY_DIR}/generated)
