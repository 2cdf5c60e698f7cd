# Installs the build into a fresh prefix and checks the desktop files there:
# the entry validates, the MIME package compiles into a database that knows
# *.kfp, and the icons and the bank are in place; lv2info finds the plugin
# in lib/lv2 with its ports.
#   cmake -DBUILD=<build dir> -DPREFIX=<scratch dir> -P install_check.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${PREFIX}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(rc)
  message(FATAL_ERROR "install failed: ${rc}")
endif()
foreach(f bin/kestrafon bin/kestrafon-cli share/applications/kestrafon.desktop
    share/icons/hicolor/scalable/apps/kestrafon.svg
    share/icons/hicolor/scalable/mimetypes/application-x-kestrafon-preset.svg
    share/mime/packages/kestrafon.xml share/kestrafon/presets/bass/saw_sub_bass.kfp)
  if(NOT EXISTS ${PREFIX}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE bank ${PREFIX}/share/kestrafon/presets/*.kfp)
list(LENGTH bank n)
if(n LESS 32)
  message(FATAL_ERROR "the bank holds ${n} presets")
endif()
execute_process(COMMAND desktop-file-validate ${PREFIX}/share/applications/kestrafon.desktop
  RESULT_VARIABLE rc)
if(rc)
  message(FATAL_ERROR "desktop-file-validate failed")
endif()
execute_process(COMMAND update-mime-database ${PREFIX}/share/mime RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
file(READ ${PREFIX}/share/mime/globs2 globs)
if(rc OR NOT globs MATCHES "application/x-kestrafon-preset:\\*\\.kfp")
  message(FATAL_ERROR "the MIME type for *.kfp is not in the database")
endif()
if(EXISTS ${BUILD}/lv2/kestrafon.lv2)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LV2_PATH=${PREFIX}/lib/lv2 lv2info urn:kestrafon:instrument
    OUTPUT_VARIABLE info RESULT_VARIABLE rc ERROR_QUIET)
  if(rc OR NOT info MATCHES "Symbol: +voices")
    message(FATAL_ERROR "lv2info does not show the installed plugin")
  endif()
endif()
file(REMOVE_RECURSE ${PREFIX})
