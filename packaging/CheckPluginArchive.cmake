# Run by cpack before it packs the archives: the plug-in's archive must hold Dns.dll and no
# Corvane.dll, which would replace the real host's library when unpacked over it.
file(GLOB_RECURSE plugin_files RELATIVE ${CPACK_TEMPORARY_DIRECTORY}/plugin
  ${CPACK_TEMPORARY_DIRECTORY}/plugin/*)
string(TOLOWER "${plugin_files}" plugin_files_lower)
if(plugin_files_lower MATCHES "(^|;|/)corvane\\.dll(;|$)")
  message(FATAL_ERROR "the plug-in archive must not hold Corvane.dll: ${plugin_files}")
endif()
if(NOT plugin_files_lower MATCHES "(^|;)dns\\.dll(;|$)")
  message(FATAL_ERROR "the plug-in archive lacks Dns.dll: ${plugin_files}")
endif()
