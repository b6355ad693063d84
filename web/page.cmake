# lz16pack for the web page: its run as a function the page's worker calls
# on files in the in-memory file system (and a zip of its outputs), in one JavaScript file with the
# WebAssembly inside (web/assemble.py puts it in the page).
add_executable(lz16pack-web web/lz16pack_web.cpp)
target_link_libraries(lz16pack-web PRIVATE lz16cli lz16_web_minizip)
target_compile_definitions(lz16pack-web PRIVATE LZ16_VERSION="${PROJECT_VERSION}")
set_target_properties(lz16pack-web PROPERTIES SUFFIX ".js")
target_link_options(lz16pack-web PRIVATE
  -sMODULARIZE=1 -sEXPORT_NAME=createLz16Pack -sSINGLE_FILE=1 -sENVIRONMENT=web,worker,node
  # Memory grows with the batch, up to what a 32-bit address space allows.
  -sALLOW_MEMORY_GROWTH=1 -sMAXIMUM_MEMORY=4GB
  -sEXPORTED_FUNCTIONS=_lz16_web_pack,_lz16_web_zip,_malloc,_free -sEXPORTED_RUNTIME_METHODS=FS,stringToUTF8,lengthBytesUTF8
  -sMINIFY_HTML=0)
