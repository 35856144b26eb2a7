# Installation. The program reads its configuration and writes its log beside
# itself, so it gets a folder of its own (VELTRUM_PROGRAM_DIR), and
# <prefix>/bin/veltrum links to it. The program finds that folder through the
# link: it takes its own path from the system, not from how it was started.
#   make install                       /usr/local/lib/veltrum, /usr/local/bin/veltrum
#   the package                        /opt/veltrum, /usr/bin/veltrum
set(VELTRUM_PROGRAM_DIR "lib/veltrum" CACHE STRING
    "Folder of the program, its configuration and its log (relative to the prefix, or absolute)")

install(TARGETS veltrum RUNTIME DESTINATION ${VELTRUM_PROGRAM_DIR})
install(FILES packaging/veltrum.1 DESTINATION share/man/man1)
install(FILES README.md packaging/copyright DESTINATION share/doc/veltrum)
install(FILES packaging/veltrum.service packaging/veltrum.timer
        DESTINATION share/doc/veltrum/examples)
install(FILES packaging/veltrum.conf DESTINATION share/doc/veltrum/examples
        RENAME veltrum.conf.example)
install(CODE "set(VELTRUM_PROGRAM_DIR \"${VELTRUM_PROGRAM_DIR}\")
              set(VELTRUM_EXAMPLE_CONF \"${CMAKE_SOURCE_DIR}/packaging/veltrum.conf\")")
install(SCRIPT cmake/InstallSteps.cmake)
