# The same code for 64-bit Windows: only to test the Win32 code under a
# 64-bit Wine where 32-bit programs cannot run. Never shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
