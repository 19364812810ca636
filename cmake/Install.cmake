# What `cmake --install` puts under the prefix. The tree may be moved as a
# whole: the tool finds its libraries through a RUNPATH relative to itself,
# and `glimmark register` finds the server relative to itself too.
#
#   bin/glimmark                           the tool
#   lib/glimmark/libglimmark.so            the in-process server
#   lib/glimmark/libglimmark_platform.so   the platform layer both load
#   lib/glimmark/libglimmark.tlb           the type library, beside the server
#   lib/systemd/system/glimmark.service    the page host as a service (this prefix's tool)
#   share/glimmark/glimmark.conf           the service's settings, a template
#   share/man/man1/glimmark.1              the manual page
#   share/doc/glimmark/                    README.md and examples/
#
# A private folder under lib/ rather than GNUInstallDirs' multiarch folder:
# these are no libraries for others to link, and the RUNPATH stays the same
# for every prefix.
set(GLIMMARK_INSTALL_LIBDIR lib/glimmark)
set(GLIMMARK_INSTALL_DOCDIR share/doc/glimmark)

set_target_properties(glimmark PROPERTIES INSTALL_RPATH "$ORIGIN/../${GLIMMARK_INSTALL_LIBDIR}")
set_target_properties(glimmark_server PROPERTIES INSTALL_RPATH "$ORIGIN")
# RUNPATH, not RPATH: LD_LIBRARY_PATH may still point elsewhere for a reason.
target_link_options(glimmark PRIVATE "-Wl,--enable-new-dtags")
target_link_options(glimmark_server PRIVATE "-Wl,--enable-new-dtags")

install(TARGETS glimmark RUNTIME DESTINATION bin)
install(TARGETS glimmark_server glimmark_platform LIBRARY DESTINATION ${GLIMMARK_INSTALL_LIBDIR})
install(FILES "${GLIMMARK_TYPELIB_PATH}" DESTINATION ${GLIMMARK_INSTALL_LIBDIR})

set(man_page "${CMAKE_BINARY_DIR}/docs/glimmark.1")
configure_file("${CMAKE_SOURCE_DIR}/docs/glimmark.1.in" "${man_page}" @ONLY)
install(FILES "${man_page}" DESTINATION share/man/man1)
install(FILES "${CMAKE_SOURCE_DIR}/packaging/glimmark.conf" DESTINATION share/glimmark)
install(FILES "${CMAKE_SOURCE_DIR}/README.md" DESTINATION ${GLIMMARK_INSTALL_DOCDIR})
install(DIRECTORY "${CMAKE_SOURCE_DIR}/examples/" DESTINATION ${GLIMMARK_INSTALL_DOCDIR}/examples)

# The unit names the tool by its absolute path, which is known only when
# installing (`--prefix` may differ from the configured prefix): written then.
install(CODE "
  set(GLIMMARK_INSTALLED_TOOL \"\${CMAKE_INSTALL_PREFIX}/bin/glimmark\")
  set(unit \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/lib/systemd/system/glimmark.service\")
  message(STATUS \"Installing: \${unit}\")
  configure_file(\"${CMAKE_SOURCE_DIR}/packaging/glimmark.service.in\" \"\${unit}\" @ONLY)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES \"\${unit}\")
")

# `make deb`: the Debian package of this tree (packaging/build-deb, debhelper).
add_custom_target(deb
  COMMAND sh "${CMAKE_SOURCE_DIR}/packaging/build-deb" "${CMAKE_BINARY_DIR}" "${CMAKE_BINARY_DIR}"
  DEPENDS glimmark glimmark_server glimmark_platform glimmark_typelib
  COMMENT "Building the Debian package" VERBATIM)
