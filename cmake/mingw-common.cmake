# The win32 thread model: its runtime needs nothing newer than Windows XP.
# The posix one links winpthread, which imports GetTickCount64 (Vista) and
# so keeps both DLLs from loading on XP. This model's libstdc++ has no
# std::thread or std::mutex; the DLLs use Win32 threads and critical
# sections, and so do the tests.
set(CMAKE_C_COMPILER ${OV_MINGW_TRIPLE}-gcc-win32)
set(CMAKE_CXX_COMPILER ${OV_MINGW_TRIPLE}-g++-win32)
set(CMAKE_RC_COMPILER ${OV_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${OV_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
