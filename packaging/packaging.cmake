# What `cmake --install` installs and `cpack` packages, in two components:
#   shell  the package kelvo-shell: kelvo-shell and kelvo-fleet with their manual pages, the
#          systemd units (the shell's template, the fleet metrics' service and timer), the
#          example instance configuration, the ready event hooks and the example alerting
#          rules and routes
#   sim    the package kelvo-shell-sim: qrn-sim, the stand-in host for demos and tests, which
#          has no place on a production machine
# Both carry the copyright and the changelog. `cmake --install` installs both components.

include(GNUInstallDirs)
set(KELVO_PACKAGING_BINARY_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KELVO_PACKAGING_BINARY_DIR})

# Installing and packaging build nothing (not the test suite either): they take the programs
# as built, and fail if they are not.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

# Manual pages and the changelog ship compressed with gzip -9n (no name or time stamp inside, so
# the same bytes every time). Compressing at configure time, and again when CMake sees the
# source change, keeps them out of the build.
function(kelvo_gzip source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

kelvo_gzip(${CMAKE_SOURCE_DIR}/packaging/changelog ${KELVO_PACKAGING_BINARY_DIR}/changelog.gz)

# One program with its manual page.
function(kelvo_install_program_only program component)
  install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT ${component})
  # The page's footer names the version: @PROJECT_VERSION@ in the source.
  configure_file(${CMAKE_SOURCE_DIR}/docs/${program}.1 ${KELVO_PACKAGING_BINARY_DIR}/${program}.1
                 @ONLY)
  set(page ${KELVO_PACKAGING_BINARY_DIR}/${program}.1.gz)
  kelvo_gzip(${KELVO_PACKAGING_BINARY_DIR}/${program}.1 ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${component})
endfunction()

# The first program of a package, with the package's copyright and changelog.
function(kelvo_install_program program component package)
  kelvo_install_program_only(${program} ${component})
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${KELVO_PACKAGING_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endfunction()

kelvo_install_program(kelvo-shell shell kelvo-shell)
kelvo_install_program_only(kelvo-fleet shell)
install(CODE "set(KELVO_PACKAGING_DIR \"${CMAKE_SOURCE_DIR}/packaging\")
              set(KELVO_PACKAGING_BINARY_DIR \"${KELVO_PACKAGING_BINARY_DIR}\")
              set(KELVO_INSTALL_BINDIR \"${CMAKE_INSTALL_BINDIR}\")"
        COMPONENT shell)
install(SCRIPT ${CMAKE_SOURCE_DIR}/packaging/install-service.cmake COMPONENT shell)
# Ready programs for --on-event: notify (Python, over apprise: ntfy, chats, mail and the rest)
# and webhook (sh with jq and curl: the event's object for machines). Beside the unit under
# lib/, as programs that only the shell runs, with the unit's teller of deaths.
install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/hooks/notify
                 ${CMAKE_SOURCE_DIR}/packaging/hooks/webhook
        DESTINATION lib/kelvo-shell/hooks COMPONENT shell)
# Alerting on the fleet's metrics: Prometheus rules and an Alertmanager configuration, examples
# for the operator to copy into /etc/prometheus/ (docs/operations.md).
install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelvo-shell.rules.yml
              ${CMAKE_SOURCE_DIR}/packaging/alertmanager.example.yml
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/kelvo-shell/examples COMPONENT shell)
install(PROGRAMS ${CMAKE_SOURCE_DIR}/packaging/tell-died DESTINATION lib/kelvo-shell
        COMPONENT shell)
set(KELVO_COMPONENTS shell)
if(TARGET qrn-sim)
  kelvo_install_program(qrn-sim sim kelvo-shell-sim)
  if(NOT KELVO_SANITIZE)
    # qrn-sim is linked statically on purpose (tools/qrn-sim/CMakeLists.txt).
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/kelvo-shell-sim.lintian-overrides
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides RENAME kelvo-shell-sim
            COMPONENT sim)
  endif()
  list(APPEND KELVO_COMPONENTS sim)
endif()

# `cpack -G DEB` in a build tree whose programs are built: kelvo-shell_<version>_<arch>.deb and
# kelvo-shell-sim_<version>_<arch>.deb.
set(KELVO_PACKAGE_MAINTAINER "kelvo-shell maintainers <kelvo-shell@example.invalid>"
    CACHE STRING "The Maintainer field of the Debian packages")
set(CPACK_PACKAGE_NAME kelvo-shell)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${KELVO_COMPONENTS})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KELVO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps (dpkg-dev) names the libraries the programs link against, with their versions.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_SHELL_PACKAGE_NAME kelvo-shell)
# The first line of each description is the package's summary; Debian wants the lines of the
# rest within 80 columns.
string(CONCAT CPACK_DEBIAN_SHELL_DESCRIPTION
    "paces one AI agent endpoint for the qrn host\n"
    "kelvo-shell binds to the qrn host as the shell of one link, follows the\n"
    "endpoint's busy/idle activity and nudges an agent that has stayed idle.\n"
    "The systemd template unit kelvo-shell@.service runs one instance per\n"
    "endpoint, configured in /etc/kelvo-shell/<instance>.conf. kelvo-fleet shows\n"
    "every shell of the machine at a glance, as a table, JSON or Prometheus\n"
    "metrics, and says by its exit status whether one needs a person.")
# The unit's tell-died builds its event with jq, as the webhook hook does, which posts with curl;
# the notify hook is a python3 program (which lintian wants in Depends) and sends through apprise.
set(CPACK_DEBIAN_SHELL_PACKAGE_DEPENDS "jq, python3")
set(CPACK_DEBIAN_SHELL_PACKAGE_RECOMMENDS "apprise, curl")
# The example configuration is the operator's to edit: dpkg keeps their changes on upgrade. The
# postinst restarts the running instances after an upgrade or a reinstall.
set(CPACK_DEBIAN_SHELL_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/packaging/conffiles ${CMAKE_SOURCE_DIR}/packaging/postinst)

set(CPACK_DEBIAN_SIM_PACKAGE_NAME kelvo-shell-sim)
string(CONCAT CPACK_DEBIAN_SIM_DESCRIPTION
    "stand-in qrn host for kelvo-shell demos and tests\n"
    "qrn-sim answers the host calls kelvo-shell makes, and offers verbs with\n"
    "which a person or a test plays the agent and the operator. It is not\n"
    "meant for production machines.")
include(CPack)
