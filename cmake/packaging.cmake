# What a user installs, and the packages that carry it: on Windows a ZIP with
# tvkdmpst.exe, its README.txt and the licence, to be dropped beside the
# service's own tvksvcio.dll; on Linux a Debian package with the program, the
# service library libtvksvcio.so.1, the manual page and the licence. The
# version is the project's, the one the report and the version record use.
#
#   cpack              (in the build folder) makes the platform's package
#   cmake --install .  installs the same files under CMAKE_INSTALL_PREFIX

set(tvk_packaging_dir ${PROJECT_SOURCE_DIR}/packaging)
set(tvk_packaging_out ${PROJECT_BINARY_DIR}/packaging)
set(tvk_holder "The tvkdmpst developers")
set(tvk_maintainer "${tvk_holder} <tvkdmpst@users.noreply.example>")

# Folders made by the install get these rights whatever the builder's umask,
# so that a build under umask 0002 packs the same 0755 folders.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # Windows readers expect CR LF; the texts are kept with plain line feeds.
  configure_file(${tvk_packaging_dir}/README.txt.in ${tvk_packaging_out}/README.txt @ONLY
                 NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${tvk_packaging_out}/LICENSE.txt @ONLY
                 NEWLINE_STYLE CRLF)

  # The program alone: tvksvcio.dll belongs to the service, and the stand-in
  # of the tests never leaves the build.
  install(TARGETS tvkdmpst RUNTIME DESTINATION .)
  install(FILES ${tvk_packaging_out}/README.txt ${tvk_packaging_out}/LICENSE.txt DESTINATION .)

  set(CPACK_GENERATOR ZIP)
else()
  # Debian keeps shared libraries in the multiarch folder, which the dynamic
  # loader searches, so the installed program needs no RUNPATH.
  if(CMAKE_LIBRARY_ARCHITECTURE)
    set(CMAKE_INSTALL_LIBDIR lib/${CMAKE_LIBRARY_ARCHITECTURE}
        CACHE PATH "Object code libraries (lib/<multiarch tuple> on Debian)")
  endif()
  include(GNUInstallDirs)

  configure_file(${tvk_packaging_dir}/tvkdmpst.1.in ${tvk_packaging_out}/tvkdmpst.1 @ONLY)
  configure_file(${tvk_packaging_dir}/debian/changelog.in ${tvk_packaging_out}/changelog @ONLY)

  # The copyright file in Debian's machine-readable form, around the licence
  # text of LICENSE, so that the two cannot differ.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE tvk_licence)
  string(REGEX REPLACE "^MIT License\n\n[^\n]*\n\n" "" tvk_licence "${tvk_licence}")
  string(REGEX REPLACE "\n+$" "" tvk_licence "${tvk_licence}")
  string(REGEX REPLACE "\n\n" "\n.\n" tvk_licence "${tvk_licence}")
  string(REGEX REPLACE "\n" "\n " tvk_licence " ${tvk_licence}")
  configure_file(${tvk_packaging_dir}/debian/copyright.in ${tvk_packaging_out}/copyright @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)

  # Manual pages and changelogs are installed compressed, without the time
  # stamp gzip would otherwise record, so that the package builds the same.
  set(tvk_compressed)
  foreach(name tvkdmpst.1 changelog)
    add_custom_command(
      OUTPUT ${tvk_packaging_out}/${name}.gz
      COMMAND gzip -9 -n -f -k ${name}
      DEPENDS ${tvk_packaging_out}/${name}
      WORKING_DIRECTORY ${tvk_packaging_out}
      COMMENT "Compressing ${name}")
    list(APPEND tvk_compressed ${tvk_packaging_out}/${name}.gz)
  endforeach()
  add_custom_target(tvk_packaging_docs ALL DEPENDS ${tvk_compressed})

  install(TARGETS tvkdmpst RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # The build folder's program finds the library beside it through the
  # RUNPATH $ORIGIN; the installed one finds it where the system keeps
  # libraries, and a RUNPATH would only widen the search.
  set(tvk_installed_program "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tvkdmpst")
  install(CODE "file(RPATH_REMOVE FILE \"${tvk_installed_program}\")")
  # The runtime library alone: nobody builds against it, so no libtvksvcio.so.
  install(TARGETS tvksvcio LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} NAMELINK_SKIP)
  # The .comment section only names the compilers that made the objects;
  # Debian's packages leave it out, and so do ours.
  set(tvk_installed_library
      "\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/$<TARGET_FILE_NAME:tvksvcio>")
  foreach(binary "${tvk_installed_program}" "${tvk_installed_library}")
    install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
                                          \"${binary}\" COMMAND_ERROR_IS_FATAL ANY)")
  endforeach()
  install(FILES ${tvk_packaging_out}/tvkdmpst.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${tvk_packaging_out}/copyright ${tvk_packaging_out}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
  # What lintian says of the package and why it stands (see the file).
  install(FILES ${tvk_packaging_dir}/debian/lintian-overrides
          DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME ${PROJECT_NAME})

  set(CPACK_GENERATOR DEB)
  # tvkdmpst_1.1.0_amd64.deb
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${tvk_maintainer}")
  # Depends from what the binaries link against; for libtvksvcio.so.1 the
  # shlibs file and the trigger that has dpkg run ldconfig.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${tvk_packaging_dir}/debian/triggers)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  set(CPACK_PACKAGE_DESCRIPTION
      "tvkdmpst writes the state of the time adjustment service, the service that
keeps the computer's clock in step with a reference time source, as an
INI-style report file to the path it is given, silently, and exits 0.
.
On Linux its service library libtvksvcio.so.1 answers from the kernel's
clock-discipline state, which every time daemon keeps current.")
endif()

# The one version: project(... VERSION) in the top CMakeLists.txt.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${tvk_holder}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report the state of the time adjustment service")
set(CPACK_STRIP_FILES ON)
# Packages are built in the build folder itself, named after the version.
set(CPACK_OUTPUT_FILE_PREFIX ${PROJECT_BINARY_DIR})
include(CPack)
