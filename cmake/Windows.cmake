# The Windows program (cross-built with MinGW-w64; make windows): a GUI program with
# the logo as its icon, and its installer (make windows-installer).

# haltguard-ids: no console window, and the logo as the program's icon. Qt's window
# plugin takes the icon named IDI_ICON1 for the windows, too.
set(HG_ICON ${CMAKE_BINARY_DIR}/windows/haltguard-ids.ico)
set(HG_ICON_FROM ${PROJECT_SOURCE_DIR}/tools/windows/make-icon.py ${PROJECT_SOURCE_DIR}/shell/resources/logo.bmp)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/windows)
execute_process(COMMAND python3 ${HG_ICON_FROM} ${HG_ICON} RESULT_VARIABLE HG_ICON_RESULT)
if(NOT HG_ICON_RESULT EQUAL 0)
    message(FATAL_ERROR "The program's icon could not be made from the logo")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${HG_ICON_FROM})
file(WRITE ${CMAKE_BINARY_DIR}/windows/haltguard-ids.rc "IDI_ICON1 ICON \"${HG_ICON}\"\n")
target_sources(haltguard-ids PRIVATE ${CMAKE_BINARY_DIR}/windows/haltguard-ids.rc)
set_target_properties(haltguard-ids PROPERTIES WIN32_EXECUTABLE ON)
# The host's rcc compresses with zstd, which this Qt is built without.
set_property(TARGET hg_shell APPEND PROPERTY AUTORCC_OPTIONS --no-zstd)

# What the installer carries: the program, the setup tool and the groups tool, and beside them the Qt DLLs and the
# plugins the program loads (the platform and the style), and libpq; the MinGW runtime is linked
# into every one of them. Qt's licence texts go with Qt's DLLs.
get_target_property(HG_QT_CORE_DLL Qt6::Core IMPORTED_LOCATION_RELEASE)
get_filename_component(HG_QT_BIN ${HG_QT_CORE_DLL} DIRECTORY)
get_filename_component(HG_QT_PREFIX ${HG_QT_BIN} DIRECTORY)
install(TARGETS haltguard-ids haltguard-ids-setup haltguard-ids-groups RUNTIME DESTINATION .
        COMPONENT windows)
install(FILES ${HG_QT_BIN}/Qt6Core.dll ${HG_QT_BIN}/Qt6Gui.dll ${HG_QT_BIN}/Qt6Widgets.dll
        DESTINATION . COMPONENT windows)
install(FILES ${HG_QT_PREFIX}/plugins/platforms/qwindows.dll DESTINATION platforms COMPONENT windows)
install(FILES ${HG_QT_PREFIX}/plugins/styles/qwindowsvistastyle.dll DESTINATION styles COMPONENT windows)
install(DIRECTORY ${HG_QT_PREFIX}/licenses/ DESTINATION licenses/Qt COMPONENT windows)
# libpq (with OpenSSL linked into it) for the group server, and the licences of both.
install(FILES ${HG_LIBPQ_WIN_PREFIX}/bin/libpq.dll DESTINATION . COMPONENT windows)
install(DIRECTORY ${HG_LIBPQ_WIN_PREFIX}/licenses/ DESTINATION licenses COMPONENT windows)
install(FILES ${HG_ICON} DESTINATION . COMPONENT windows)
install(FILES README.md DESTINATION . COMPONENT windows)
# Qt's DLLs are built with their symbol tables; what is shipped goes without them.
install(CODE "file(GLOB_RECURSE hg_dlls \"\${CMAKE_INSTALL_PREFIX}/*.dll\")
    execute_process(COMMAND ${CMAKE_STRIP} --strip-unneeded \${hg_dlls} COMMAND_ERROR_IS_FATAL ANY)"
    COMPONENT windows)

# The installer, made with NSIS from what the windows component installs.
find_program(HG_MAKENSIS makensis)
set(HG_STAGE ${CMAKE_BINARY_DIR}/windows/stage)
set(HG_INSTALLER ${CMAKE_BINARY_DIR}/haltguard-ids-${PROJECT_VERSION}-setup.exe)
add_custom_target(windows-installer
    COMMAND ${CMAKE_COMMAND} -E rm -rf ${HG_STAGE}
    COMMAND ${CMAKE_COMMAND} --install ${CMAKE_BINARY_DIR} --component windows --strip --prefix ${HG_STAGE}
    COMMAND ${HG_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${HG_STAGE}
            -DOUTFILE=${HG_INSTALLER} ${PROJECT_SOURCE_DIR}/tools/windows/haltguard-ids.nsi
    DEPENDS haltguard-ids haltguard-ids-setup haltguard-ids-groups
    COMMENT "Making ${HG_INSTALLER}"
    VERBATIM)
