# The configurator's two packages, made by CPack from the install rules below:
#   KV4T_Cfg-<version>-win64.zip    the portable archive, one folder KV4T_Cfg-<version>
#   KV4T_Cfg-<version>-setup.exe    the per-user installer (NSIS, packaging/NSIS.template.in)
# Both hold what is shipped and nothing else: KV4T_Cfg.exe, Pargo.dll, the instrument
# descriptions of catalog/, the help KV4T_Cfg.CHM and README.txt. kv4t.exe, the
# console tool, is built beside them but not shipped in them. The version is
# project(VERSION)'s.
#
# Only the Windows build ships them. Included by the top CMakeLists.txt after the
# folders that define the programs; it sets for the package tests
#   KV4T_PACKAGE_DIR      where cpack puts the packages
#   KV4T_PACKAGE_ZIP      the archive's path there
#   KV4T_PACKAGE_SETUP    the installer's path there
if(NOT WIN32 OR NOT TARGET KV4T_Cfg OR NOT TARGET pargo)
  return()
endif()
if(NOT TARGET kv4t_help)
  message(STATUS "No help file KV4T_Cfg.CHM: the packages are not configured")
  return()
endif()

set(kv4t_package_name KV4T_Cfg-${PROJECT_VERSION})
# Beside the build tree of the windows preset, as scripts/package has always put them.
if(CMAKE_BINARY_DIR STREQUAL "${CMAKE_SOURCE_DIR}/build/windows")
  set(KV4T_PACKAGE_DIR ${CMAKE_SOURCE_DIR}/build/package)
else()
  set(KV4T_PACKAGE_DIR ${CMAKE_BINARY_DIR}/package)
endif()
set(KV4T_PACKAGE_ZIP ${KV4T_PACKAGE_DIR}/${kv4t_package_name}-win64.zip)
set(KV4T_PACKAGE_SETUP ${KV4T_PACKAGE_DIR}/${kv4t_package_name}-setup.exe)

# The read-me for Windows: UTF-8 with a byte order mark (Notepad of any age reads it
# so), CRLF line ends, the version filled in. Written again only when it changes.
set(readme_source ${CMAKE_SOURCE_DIR}/docs/package-readme.txt)
set(readme ${CMAKE_BINARY_DIR}/generated/README.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_source})
file(READ ${readme_source} readme_text)
string(REPLACE "@VERSION@" "${PROJECT_VERSION}" readme_text "${readme_text}")
string(REPLACE "\n" "\r\n" readme_text "${readme_text}")
string(ASCII 239 187 191 bom)
file(WRITE ${readme}.new "${bom}${readme_text}")
file(COPY_FILE ${readme}.new ${readme} ONLY_IF_DIFFERENT)
file(REMOVE ${readme}.new)

# What is shipped, all in the top folder and in the one component kv4t_cfg: the
# programs as the build linked them, the instrument descriptions as catalog/ holds
# them, the help as the build compiled it. Pargo's import library is for building
# against it and is installed only on request (--component kv4t_import_library).
file(GLOB kv4t_shipped_descriptions CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/catalog/*.xml)
install(TARGETS KV4T_Cfg pargo
  RUNTIME DESTINATION . COMPONENT kv4t_cfg
  ARCHIVE DESTINATION lib COMPONENT kv4t_import_library EXCLUDE_FROM_ALL)
install(FILES ${kv4t_shipped_descriptions} $<TARGET_PROPERTY:kv4t_help,KV4T_HELP_FILE> ${readme}
  DESTINATION . COMPONENT kv4t_cfg)
# Packaging takes what the build made and builds nothing: without this, cpack would
# first build every test program (the install step's dependency on "all").
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME KV4T_Cfg)
set(CPACK_PACKAGE_VENDOR RAVIK)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL kv4t_cfg)
set(CPACK_PACKAGE_DIRECTORY ${KV4T_PACKAGE_DIR})
# The archive's top folder; each generator names its file (packaging/KV4TCPackOptions.cmake).
set(CPACK_PACKAGE_FILE_NAME ${kv4t_package_name})
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/packaging/KV4TCPackOptions.cmake)

# The installer's script is our own template (packaging/NSIS.template.in, found
# through CPACK_MODULE_PATH): CPack's own installs for all users as administrator.
# Ours installs for the user alone, into his programs folder, and registers its
# uninstaller under HKCU.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/packaging)
set(CPACK_NSIS_DISPLAY_NAME "Конфигуратор KV4T")
set(CPACK_NSIS_INSTALL_ROOT "$LOCALAPPDATA\\Programs")
set(CPACK_PACKAGE_INSTALL_DIRECTORY KV4T_Cfg)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY KV4T_Cfg)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
# The installer shows the program's own icon, which the build draws (app/res).
set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/app/res/generated/kv4t.ico)
set(CPACK_NSIS_MUI_UNIICON ${CPACK_NSIS_MUI_ICON})
# The template is UTF-8 (its Russian texts); makensis would read it as ANSI.
set(CPACK_NSIS_EXECUTABLE_PRE_ARGUMENTS -V2 "-INPUTCHARSET UTF8")
# The packages are the programs' alone; a source package, which CPack offers
# with them, is made from the repository (git archive), never from a work tree
# with its builds in it.
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build/")
include(CPack)
