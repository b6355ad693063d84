# Cross compiling for a Cortex-M0 with Debian's gcc-arm-none-eabi. The lz16
# programs still run on the build machine.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)
set(CMAKE_C_FLAGS_INIT "-mcpu=cortex-m0 -mthumb")
set(CMAKE_CXX_FLAGS_INIT "-mcpu=cortex-m0 -mthumb")
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
