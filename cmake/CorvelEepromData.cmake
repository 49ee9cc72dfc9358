# The EEPROM definition library and its sample images live in the program
# folder: copy data/eeprom beside a program built in the calling folder.
function(corvel_copy_eeprom_data)
  set(source ${CMAKE_SOURCE_DIR}/data/eeprom)
  file(GLOB_RECURSE files RELATIVE ${source} CONFIGURE_DEPENDS ${source}/*)
  foreach(f IN LISTS files)
    configure_file(${source}/${f} ${CMAKE_CURRENT_BINARY_DIR}/${f} COPYONLY)
  endforeach()
endfunction()
