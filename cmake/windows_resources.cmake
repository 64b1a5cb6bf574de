# The version record and the manifest of a Windows program, from the one
# version in CMakeLists.txt. `controls`: the window needs common controls 6.
function(loopsmith_windows_resources target description controls)
  enable_language(RC)
  set(LOOPSMITH_EXE ${target}.exe)
  if(target STREQUAL "loopsmith")
    set(LOOPSMITH_INTERNAL_NAME Loopsmith)
  else()
    set(LOOPSMITH_INTERNAL_NAME ${target})
  endif()
  set(LOOPSMITH_DESCRIPTION ${description})
  if(PROJECT_VERSION_MINOR LESS 10)
    set(LOOPSMITH_PRODUCT_MINOR 0${PROJECT_VERSION_MINOR})
  else()
    set(LOOPSMITH_PRODUCT_MINOR ${PROJECT_VERSION_MINOR})
  endif()
  if(controls)
    set(LOOPSMITH_DEPENDENCY [=[
  <dependency>
    <dependentAssembly>
      <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                        processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
    </dependentAssembly>
  </dependency>]=])
  else()
    set(LOOPSMITH_DEPENDENCY "")
  endif()
  set(LOOPSMITH_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/${target}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/win/loopsmith.manifest.in ${LOOPSMITH_MANIFEST} @ONLY)
  configure_file(${PROJECT_SOURCE_DIR}/win/version.rc.in
                 ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc @ONLY)
  target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
endfunction()
