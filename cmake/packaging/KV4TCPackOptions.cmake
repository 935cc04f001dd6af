# Read by cpack once for each generator (CPACK_PROJECT_CONFIG_FILE), CPACK_GENERATOR
# naming the one at work. CPACK_PACKAGE_FILE_NAME is KV4T_Cfg-<version>.
if(CPACK_GENERATOR STREQUAL "ZIP")
  # KV4T_Cfg-<version>-win64.zip holding the one folder KV4T_Cfg-<version>. A
  # monolithic archive names its file and its top folder alike; packed as the one
  # component, the file takes a name of its own, the folder the package's, and the
  # archive lists only the files (no entry for the folder itself).
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_KV4T_CFG_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-win64")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
  # KV4T_Cfg-<version>-setup.exe, one section with every file: the template has
  # no component pages.
  set(CPACK_MONOLITHIC_INSTALL ON)
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()
