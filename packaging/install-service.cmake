# Installs the systemd units (the shell's template, the later retry after repeated failures, the
# fleet metrics' service and timer) and the example instance configuration. It runs at install time,
# where CMAKE_INSTALL_PREFIX is the prefix really installed to (/usr when CPack builds the
# package), so the unit can name that prefix's program and configuration folder.
# KELVO_PACKAGING_DIR, KELVO_PACKAGING_BINARY_DIR and KELVO_INSTALL_BINDIR come from the
# install rule that runs this script.

# As GNUInstallDirs has it: the /usr prefix keeps its configuration in /etc, others in <prefix>/etc.
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(KELVO_CONFDIR /etc/kelvo-shell)
else()
  set(KELVO_CONFDIR ${CMAKE_INSTALL_PREFIX}/etc/kelvo-shell)
endif()
set(KELVO_BINDIR ${CMAKE_INSTALL_PREFIX}/${KELVO_INSTALL_BINDIR})
set(KELVO_PKGLIBDIR ${CMAKE_INSTALL_PREFIX}/lib/kelvo-shell)

# Written beside the build in a folder of its own for each destination, so that two installs
# running at once (the tests' scratch prefix and CPack's /usr) don't share one file.
string(MD5 destination "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(unit_dir ${KELVO_PACKAGING_BINARY_DIR}/unit-${destination})
set(unit ${unit_dir}/kelvo-shell@.service)
configure_file(${KELVO_PACKAGING_DIR}/kelvo-shell@.service.in ${unit} @ONLY)
file(INSTALL ${unit} DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
# The fleet's metrics for the node exporter, every 30 s once the timer is enabled.
set(metrics_unit ${unit_dir}/kelvo-fleet-metrics.service)
configure_file(${KELVO_PACKAGING_DIR}/kelvo-fleet-metrics.service.in ${metrics_unit} @ONLY)
file(INSTALL ${metrics_unit} ${KELVO_PACKAGING_DIR}/kelvo-fleet-metrics.timer
     DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
file(REMOVE_RECURSE ${unit_dir})
# The retry units name no path of the prefix.
file(INSTALL ${KELVO_PACKAGING_DIR}/kelvo-shell-retry@.timer
     ${KELVO_PACKAGING_DIR}/kelvo-shell-retry@.service
     DESTINATION ${CMAKE_INSTALL_PREFIX}/lib/systemd/system)
# A copy made with cp -p keeps the mode, so a filled-in copy is private from the start.
file(INSTALL ${KELVO_PACKAGING_DIR}/instance.conf.example DESTINATION ${KELVO_CONFDIR}
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE)
