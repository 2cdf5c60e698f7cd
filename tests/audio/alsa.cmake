# An ALSA control plugin without elements. With it and a file PCM as the
# default device, the end-to-end output test finds a "default" card on
# machines without sound hardware and captures what the device plays.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KF_ALSA REQUIRED IMPORTED_TARGET alsa)
add_library(asound_module_ctl_kfnull MODULE ${CMAKE_CURRENT_SOURCE_DIR}/audio/alsa_ctl_kfnull.c)
# ALSA's plugin headers export the entry point only when built as PIC.
target_compile_definitions(asound_module_ctl_kfnull PRIVATE PIC)
target_link_libraries(asound_module_ctl_kfnull PRIVATE PkgConfig::KF_ALSA)
set_target_properties(asound_module_ctl_kfnull PROPERTIES PREFIX "lib" OUTPUT_NAME asound_module_ctl_kfnull)
if(TARGET audio_test_wave_out_alsa_threads)
  add_dependencies(audio_test_wave_out_alsa_threads asound_module_ctl_kfnull)
  target_compile_definitions(audio_test_wave_out_alsa_threads PRIVATE
    KF_ALSA_CTL_PLUGIN="$<TARGET_FILE:asound_module_ctl_kfnull>")
endif()
