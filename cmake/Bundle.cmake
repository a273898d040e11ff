# Plug-in bundles: the folder a host opens.
#
#   <OUTPUT_DIR>/<NAME>.component/Contents/Info.plist
#   <OUTPUT_DIR>/<NAME>.component/Contents/Linux/<NAME>.so
#   <OUTPUT_DIR>/<NAME>.component/Contents/Resources/...
#
# sorvanta_add_bundle(target
#   NAME Sorvanta IDENTIFIER com.example.audiounit.Thing
#   COMPONENT_NAME "Maker: Product" TYPE aumu SUBTYPE t9vk MANUFACTURER HsL1 VERSION 65542
#   SOURCES a.cpp ... LIBS lib ... [RESOURCES file ...] [OUTPUT_DIR dir])
#
# The library is a loadable module that exports only the component entries (Sorvanta_Entry,
# Sorvanta_ViewEntry, Sorvanta_View_64); everything else stays inside it, so the host's own copy
# of the platform code and the plug-in's never bind to each other. The sources see the
# identifier as SORVANTA_BUNDLE_ID. Resources are copied flat into Contents/Resources after each
# build.
function(sorvanta_add_bundle target)
  cmake_parse_arguments(B "" "NAME;IDENTIFIER;COMPONENT_NAME;TYPE;SUBTYPE;MANUFACTURER;VERSION;OUTPUT_DIR"
                        "SOURCES;LIBS;RESOURCES" ${ARGN})
  if(NOT B_OUTPUT_DIR)
    set(B_OUTPUT_DIR ${CMAKE_BINARY_DIR})
  endif()
  set(contents ${B_OUTPUT_DIR}/${B_NAME}.component/Contents)

  add_library(${target} MODULE ${B_SOURCES})
  target_link_libraries(${target} PRIVATE ${B_LIBS})
  target_compile_definitions(${target} PRIVATE SORVANTA_BUNDLE_ID="${B_IDENTIFIER}")
  set_target_properties(${target} PROPERTIES
    PREFIX "" OUTPUT_NAME ${B_NAME} SUFFIX ".so"
    LIBRARY_OUTPUT_DIRECTORY ${contents}/Linux)

  set(map ${CMAKE_CURRENT_BINARY_DIR}/${target}.exports)
  # Written only when its text changes: the bundle's link depends on it, and a file rewritten by
  # every configure would relink the bundle (and rerun everything that runs it) each time.
  file(CONFIGURE OUTPUT ${map} CONTENT "{\n  global: Sorvanta_Entry; Sorvanta_ViewEntry; Sorvanta_View_64;\n  local: *;\n};\n")
  # The entries live in a static library: ask the linker to pull them in.
  target_link_options(${target} PRIVATE
    -Wl,--version-script=${map}
    -Wl,--undefined=Sorvanta_Entry -Wl,--undefined=Sorvanta_ViewEntry -Wl,--undefined=Sorvanta_View_64)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${map})

  file(GENERATE OUTPUT ${contents}/Info.plist CONTENT "<?xml version=\"1.0\" encoding=\"UTF-8\"?>
<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">
<plist version=\"1.0\">
<dict>
\t<key>AudioComponents</key>
\t<array>
\t\t<dict>
\t\t\t<key>factoryFunction</key>
\t\t\t<string>Sorvanta_Entry</string>
\t\t\t<key>manufacturer</key>
\t\t\t<string>${B_MANUFACTURER}</string>
\t\t\t<key>name</key>
\t\t\t<string>${B_COMPONENT_NAME}</string>
\t\t\t<key>subtype</key>
\t\t\t<string>${B_SUBTYPE}</string>
\t\t\t<key>type</key>
\t\t\t<string>${B_TYPE}</string>
\t\t\t<key>version</key>
\t\t\t<integer>${B_VERSION}</integer>
\t\t</dict>
\t</array>
\t<key>CFBundleExecutable</key>
\t<string>${B_NAME}.so</string>
\t<key>CFBundleIdentifier</key>
\t<string>${B_IDENTIFIER}</string>
\t<key>CFBundleName</key>
\t<string>${B_NAME}</string>
\t<key>CFBundlePackageType</key>
\t<string>BNDL</string>
</dict>
</plist>
")

  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${contents}/Resources
    VERBATIM)
  if(B_RESOURCES)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${B_RESOURCES} ${contents}/Resources/
      VERBATIM)
  endif()
endfunction()
