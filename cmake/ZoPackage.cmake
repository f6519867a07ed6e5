# What a user downloads, made by cpack from a built tree:
#   Windows: Ondix2-<version>-win32.zip (or -win64), one folder holding
#            Ondix2.zom, zohost.exe, README.txt, the manual and the notices;
#   Linux:   a .deb (dependencies from dpkg-shlibdeps) and a .tar.gz with
#            bin/zohost beside lib/Ondix2.zom and lib/libzogdi.so.
# scripts/release.sh runs it on the linux and win32 trees.

include(GNUInstallDirs)
set(ZO_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/ondix2")
if(WIN32)
  set(ZO_DOC_DIR ".")
  install(FILES "${PROJECT_SOURCE_DIR}/packaging/windows/README.txt"
                "${PROJECT_SOURCE_DIR}/packaging/windows/THIRD-PARTY-NOTICES.txt"
          DESTINATION .)
else()
  install(FILES "${PROJECT_SOURCE_DIR}/README.md"
                "${PROJECT_SOURCE_DIR}/packaging/linux/THIRD-PARTY-NOTICES.txt"
          DESTINATION "${ZO_DOC_DIR}")
endif()
install(FILES "${PROJECT_SOURCE_DIR}/CHANGELOG.md" DESTINATION "${ZO_DOC_DIR}")
install(FILES "${PROJECT_SOURCE_DIR}/docs/MANUAL.md" DESTINATION "${ZO_DOC_DIR}")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/docs/manual" DESTINATION "${ZO_DOC_DIR}" FILES_MATCHING PATTERN "*.png")

set(CPACK_PACKAGE_NAME "Ondix2")
set(CPACK_PACKAGE_VENDOR "Ondix2")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "Ondix2 developers" CACHE STRING "Maintainer named in the Linux package")
# Users get no debug information: a tenth of the size.
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(zo_arch win32)
  else()
    set(zo_arch win64)
  endif()
  set(CPACK_GENERATOR "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "Ondix2-${PROJECT_VERSION}-${zo_arch}")
else()
  set(CPACK_GENERATOR "TGZ;DEB")
  set(CPACK_PACKAGE_FILE_NAME "Ondix2-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}")
  # The tarball unpacks to one folder with bin/ and lib/ as installed.
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_DEBIAN_PACKAGE_NAME "ondix2")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION "sound")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The drawing library is the package's own; the font is read at run time.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "${CMAKE_INSTALL_LIBDIR}")
  # SDL2 and Xlib (zohost --live) and libsndfile (sound files) are loaded
  # at run time, which dpkg-shlibdeps cannot see.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, libsdl2-2.0-0, libx11-6, libsndfile1")
  # Below the summary line.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "zohost renders the module's display to pictures, validates the module and shows it live in a window.")
endif()

include(CPack)
