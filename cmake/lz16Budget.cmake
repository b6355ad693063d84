# The byte budget of one lz16_add_assets() call, checked once its headers
# are made: the sum of their <ID>_LZ16_SIZE and <ID>_ALPHA_SIZE, the bytes
# lz16pack reports for each image, may not pass BUDGET. Touches STAMP when
# it does not.
#
#   cmake -DBUDGET=<bytes> -DSTAMP=<file> -DHEADERS=<a.h;b.h;...> -P lz16Budget.cmake
set(total 0)
foreach(header IN LISTS HEADERS)
  file(STRINGS "${header}" sizes REGEX "^#define [A-Z0-9_]+_(LZ16|ALPHA)_SIZE [0-9]+( |$)")
  if(NOT sizes)
    message(FATAL_ERROR "lz16_add_assets: ${header} holds no size")
  endif()
  foreach(size IN LISTS sizes)
    string(REGEX REPLACE "^#define [A-Z0-9_]+_SIZE ([0-9]+).*$" "\\1" size "${size}")
    math(EXPR total "${total} + ${size}")
  endforeach()
endforeach()
if(total GREATER BUDGET)
  message(FATAL_ERROR "lz16pack: the assets take ${total} bytes, over the budget of ${BUDGET} bytes")
endif()
file(TOUCH "${STAMP}")
