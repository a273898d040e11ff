# Copies the authored interface and the banks shipped with it into the bundle's Resources folder,
# flat (the graphics object looks resources up by file name alone). Missing resources leave the
# bundle without them: the editor then starts with an empty window and says so in its log.
file(MAKE_DIRECTORY "${DST}")
foreach(doc uiconfig.tea sysex.tea)
  if(EXISTS "${SRC}/${doc}")
    file(COPY "${SRC}/${doc}" DESTINATION "${DST}")
  endif()
endforeach()
file(GLOB images "${SRC}/img/*.png")
if(images)
  file(COPY ${images} DESTINATION "${DST}")
endif()
# The banks an installer lays down in an empty library (scripts/install-data.sh).
file(GLOB banks "${SRC}/banks/*.syx")
if(banks)
  file(COPY ${banks} DESTINATION "${DST}")
endif()
