# cmake -DSRC=... -DDST=... -P CopyIfMissing.cmake: copies SRC to DST unless
# DST exists, so that a file the user put there is never overwritten.
if(NOT EXISTS "${DST}")
  configure_file("${SRC}" "${DST}" COPYONLY)
endif()
