# cmake --install puts the program in place as a desktop application;
# cpack -G DEB makes a Debian package of the same files, and cpack -G RPM
# one for Fedora and openSUSE. An installed program
# keeps its files in $XDG_DATA_HOME/nimbra-wallpaper/, seeded from
# share/nimbra-wallpaper/ (platform/ProgramFolder.cpp looks there, relative
# to bin/).
include(GNUInstallDirs)

set(NIMBRA_APP_ID org.nimbra.wallpaper)
set(NIMBRA_HOME_URL https://${NIMBRA_HOME_HOST}/)
set(NIMBRA_SHARE_DIR ${CMAKE_INSTALL_DATADIR}/nimbra-wallpaper)
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
    WORLD_READ WORLD_EXECUTE)

install(TARGETS NimbraWallpaper nimbra-get RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/resources/desktop/${NIMBRA_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The home site's address, where the screenshots and the bug tracker are.
configure_file(${CMAKE_SOURCE_DIR}/resources/desktop/${NIMBRA_APP_ID}.metainfo.xml.in
               ${CMAKE_BINARY_DIR}/packaging/${NIMBRA_APP_ID}.metainfo.xml @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/packaging/${NIMBRA_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/resources/lang/ DESTINATION ${NIMBRA_SHARE_DIR}/lang)
install(DIRECTORY ${NIMBRA_STAGE_DIR}/wallpaper DESTINATION ${NIMBRA_SHARE_DIR})

# Debian wants its copyright file and a compressed changelog beside the
# docs, and compressed manual pages.
set(compressed)
foreach(name changelog NimbraWallpaper.1 nimbra-get.1)
  set(gz ${CMAKE_BINARY_DIR}/packaging/${name}.gz)
  add_custom_command(OUTPUT ${gz}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
                     COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/${name} > ${gz}
                     DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${name})
  list(APPEND compressed ${gz})
endforeach()
add_custom_target(nimbra_packaging_docs ALL DEPENDS ${compressed})
add_dependencies(NimbraWallpaper nimbra_packaging_docs)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/nimbra-wallpaper)
install(FILES ${CMAKE_BINARY_DIR}/packaging/NimbraWallpaper.1.gz ${CMAKE_BINARY_DIR}/packaging/nimbra-get.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME nimbra-wallpaper)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Nimbra Wallpaper developers")
set(CPACK_PACKAGE_CONTACT "The Nimbra Wallpaper developers <developers@nimbra.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop wallpaper manager with a tray icon")
set(nimbra_description
    "A small skinned window that browses a store of wallpapers, six thumbnails a\n\
page, and makes the chosen picture the desktop wallpaper, stretched. It can\n\
browse an online catalogue, step through a rotation list from the tray menu\n\
or the command line, and change the wallpaper at login or once a day.")
# The summary above is the synopsis line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${nimbra_description}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${NIMBRA_HOME_URL})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The X11 platform plugin, pixman, OpenSSL, Qt's WebP and TIFF readers and the
# AVIF, HEIF and JPEG XL decoders are loaded at run time, so no binary names
# them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "qt6-qpa-plugins, libpixman-1-0, libssl3, qt6-image-formats-plugins, libavif15, libheif1, libjxl0.7")
# swaybg draws the background on Wayland compositors without settings of
# their own; libwayland-client, opened at run time, names their outputs.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libglib2.0-bin, xfconf, swaybg, libwayland-client0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)

# The RPM holds the same files. rpm works out the libraries' capabilities
# from the binaries; pixman and the picture decoders are opened at run time,
# so they are named by their sonames, which Fedora and openSUSE both provide,
# and Qt's format plugins by the package names of either.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_SUMMARY "Desktop wallpaper manager with a tray icon")
set(CPACK_RPM_PACKAGE_DESCRIPTION "${nimbra_description}")
set(CPACK_RPM_PACKAGE_LICENSE "LicenseRef-proprietary")
set(CPACK_RPM_PACKAGE_GROUP "Amusements/Graphics")
set(CPACK_RPM_PACKAGE_URL ${NIMBRA_HOME_URL})
set(CPACK_RPM_PACKAGE_RELEASE 1)
# rpm's links from build ids to the binaries are left out, so that the
# package holds the files the .deb holds and nothing more.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${CPACK_PACKAGE_CONTACT}\n%define _build_id_links none")
set(CPACK_RPM_PACKAGE_REQUIRES
    "libpixman-1.so.0()(64bit), libssl.so.3()(64bit), libavif.so.15()(64bit), libheif.so.1()(64bit), \
libjxl.so.0.7()(64bit), (qt6-qtimageformats or qt6-imageformats)")
set(CPACK_RPM_PACKAGE_SUGGESTS "/usr/bin/gsettings, /usr/bin/xfconf-query, /usr/bin/swaybg, libwayland-client.so.0()(64bit)")
set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_SOURCE_DIR}/packaging/changelog.rpm)
# Folders that the system's own packages own.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
    /usr/share/applications /usr/share/icons /usr/share/icons/hicolor /usr/share/man /usr/share/man/man1
    /usr/share/metainfo)
foreach(size 16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256 scalable)
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/icons/hicolor/${size}
       /usr/share/icons/hicolor/${size}/apps)
endforeach()
include(CPack)
