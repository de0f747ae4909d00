# What `cmake --install` puts in the program's folder on Windows, and what the installer
# (windows/qldixw.nsi, made by scripts/build-windows.sh) installs under Program Files:
#   bin/          qldixw.exe, Qt's and the compiler's DLLs, the platform and style plugins
#   lib/qldixw/plugins/   the chart module, when Qt Charts was there to build it
#   share/qldixw/ the protocol description, the icon
#   translations/ Qt's own words in Russian (Debian's qt6-translations-l10n)
# The same layout as on Linux, so the program finds its files by the same relative paths.
set(generated ${CMAKE_CURRENT_BINARY_DIR})

install(TARGETS qldixw RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET qldixw_readingchart)
  install(TARGETS qldixw_readingchart LIBRARY DESTINATION ${QLDIXW_INSTALL_MODULEDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/mainwindow/help/qldixw-protocol.html DESTINATION ${QLDIXW_INSTALL_DATADIR}
        COMPONENT help)

# The icon is drawn at build time by the icon drawer, which must run here: a cross build
# takes one built for the build machine (QLDIXW_HOST_DRAWICON).
if(CMAKE_CROSSCOMPILING)
  if(NOT QLDIXW_HOST_DRAWICON)
    message(FATAL_ERROR "A cross build draws the icon with the icon drawer built for this machine: "
      "build the target qldixw-drawicon natively and pass -DQLDIXW_HOST_DRAWICON=<its path> "
      "(scripts/build-windows.sh does both).")
  endif()
  set(drawicon ${QLDIXW_HOST_DRAWICON})
else()
  add_executable(qldixw-drawicon icon/drawicon.cpp)
  target_link_libraries(qldixw-drawicon PRIVATE Qt6::Gui)
  set(drawicon qldixw-drawicon)
endif()
add_custom_command(OUTPUT ${generated}/icons/qldixw.ico
  COMMAND ${drawicon} ${generated}/icons 16 24 32 48 64 128 256
  DEPENDS ${drawicon} VERBATIM)
# A custom command's output is only made for targets of its own folder: the program, in
# mainwindow/, waits for it through a target of this one.
add_custom_target(qldixw_icon DEPENDS ${generated}/icons/qldixw.ico)
add_dependencies(qldixw qldixw_icon)
install(FILES ${generated}/icons/qldixw.ico DESTINATION ${QLDIXW_INSTALL_DATADIR})

# The program's icon and version, as Explorer shows them.
string(REPLACE "." "," QLDIXW_VERSION_COMMAS "${PROJECT_VERSION}")
set(QLDIXW_ICON_FILE ${generated}/icons/qldixw.ico)
configure_file(windows/qldixw.rc.in ${generated}/qldixw.rc @ONLY)
target_sources(qldixw PRIVATE ${generated}/qldixw.rc)
set_source_files_properties(${generated}/qldixw.rc PROPERTIES OBJECT_DEPENDS ${generated}/icons/qldixw.ico)

# Qt's libraries and plugins the program loads, and the compiler's runtime they share.
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
if(NOT qt_core_dll)
  get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION)
endif()
get_filename_component(qt_bin ${qt_core_dll} DIRECTORY)
get_filename_component(qt_prefix ${qt_bin} DIRECTORY)
set(qt_dlls Qt6Core Qt6Gui Qt6Widgets)
if(TARGET Qt6::Charts)
  list(APPEND qt_dlls Qt6Charts)
endif()
foreach(dll IN LISTS qt_dlls)
  install(FILES ${qt_bin}/${dll}.dll DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
install(FILES ${qt_prefix}/plugins/platforms/qwindows.dll DESTINATION ${CMAKE_INSTALL_BINDIR}/platforms)
install(FILES ${qt_prefix}/plugins/styles/qwindowsvistastyle.dll DESTINATION ${CMAKE_INSTALL_BINDIR}/styles)
foreach(runtime libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${runtime}
                  OUTPUT_VARIABLE runtime_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${runtime_path}" OR NOT EXISTS "${runtime_path}")
    # winpthread is the C library's, beside mingw's own import libraries.
    find_file(runtime_path_found ${runtime} PATHS /usr/${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32/lib NO_DEFAULT_PATH
              NO_CMAKE_FIND_ROOT_PATH)
    set(runtime_path ${runtime_path_found})
    unset(runtime_path_found CACHE)
  endif()
  if(NOT EXISTS "${runtime_path}")
    message(FATAL_ERROR "The compiler's runtime ${runtime} was not found")
  endif()
  install(FILES ${runtime_path} DESTINATION ${CMAKE_INSTALL_BINDIR})
endforeach()
# Qt's Russian words: the same catalogue as on Linux (the files are the same everywhere).
set(QLDIXW_QT_TRANSLATIONS /usr/share/qt6/translations CACHE PATH "Qt's translations (qt6-translations-l10n)")
install(FILES ${QLDIXW_QT_TRANSLATIONS}/qtbase_ru.qm DESTINATION translations)

# The installer's script, filled in with this build's version.
configure_file(windows/qldixw.nsi.in ${generated}/qldixw.nsi @ONLY)
