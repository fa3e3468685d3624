# Installed form of the program (cmake --install, FHS below the prefix) and
# its Debian package (cpack -G DEB). The program tells the two ways of
# running apart by where its skin lies (core/sys/jlPaths.h).
include(GNUInstallDirs)

# Icons painted at build time beside the program, where the portable copy's
# registration finds them, and installed into the hicolor theme.
add_executable(jl-make-icons ${CMAKE_SOURCE_DIR}/tools/icons/jlMakeIcons.cpp)
target_link_libraries(jl-make-icons PRIVATE PkgConfig::CAIRO m)
set(JL_ICONS_STAMP ${CMAKE_BINARY_DIR}/icons.stamp)
add_custom_command(OUTPUT ${JL_ICONS_STAMP}
  COMMAND jl-make-icons --out ${JL_APP_DIR}/icons
  COMMAND ${CMAKE_COMMAND} -E touch ${JL_ICONS_STAMP}
  DEPENDS jl-make-icons
  COMMENT "Painting the icons"
  VERBATIM)
add_custom_target(jl_icons ALL DEPENDS ${JL_ICONS_STAMP})

# Manual pages and the changelog compressed without a time stamp, so two
# builds give the same package.
set(JL_PKG_DIR ${CMAKE_BINARY_DIR}/packaging)
set(jl_gz_outputs)
foreach(f jamloom.1 jamloom-render.1 changelog)
  add_custom_command(OUTPUT ${JL_PKG_DIR}/${f}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${JL_PKG_DIR}
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/packaging/${f} ${JL_PKG_DIR}/${f}.gz
    DEPENDS ${CMAKE_SOURCE_DIR}/packaging/${f}
    VERBATIM)
  list(APPEND jl_gz_outputs ${JL_PKG_DIR}/${f}.gz)
endforeach()
add_custom_target(jl_packaging_files ALL DEPENDS ${jl_gz_outputs})

install(TARGETS jamloom jamloom-render RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${JL_APP_DIR}/Jamloom.xrs ${JL_APP_DIR}/JLHelps.xrs ${JL_APP_DIR}/QXhelp.xrs ${JL_APP_DIR}/Helps.txt
  DESTINATION ${CMAKE_INSTALL_DATADIR}/jamloom)
# The demo library as the build made it; what a portable run from the build
# folder may have added (its lock, temporaries, recorded takes) stays out.
install(DIRECTORY ${JL_APP_DIR}/Library DESTINATION ${CMAKE_INSTALL_DATADIR}/jamloom
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
  DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE
  PATTERN ".*" EXCLUDE PATTERN "User" EXCLUDE PATTERN "*.tmp*" EXCLUDE)
install(DIRECTORY ${JL_APP_DIR}/icons/hicolor DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/io.github.jamloom.Jamloom.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/io.github.jamloom.Jamloom.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/jamloom-mime.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME jamloom.xml)
install(FILES ${JL_PKG_DIR}/jamloom.1.gz ${JL_PKG_DIR}/jamloom-render.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright ${JL_PKG_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/jamloom)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME jamloom)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT "The Jamloom developers <maintainers@jamloom.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "groovebox that builds dance-music tracks out of loops")
set(CPACK_PACKAGE_DESCRIPTION "Jamloom plays eight loop tracks in beat. Switch loops, build grooves,
arrange them in a bank and a sequence, change the tempo, play an
arpeggiated sample synth over them and record loops of your own. Mixes
are saved as documents and can be rendered to sound files with
jamloom-render. Demo songs and synth sets are included.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The open and save dialogs run zenity; desktop integration uses xdg-utils.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "zenity, xdg-utils")
include(CPack)
