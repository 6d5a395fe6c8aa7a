// Export macro of the utility library reRazud.
//
// reRazud is built with hidden symbols; exactly the classes and functions
// marked KY_UTILS_API form its exported surface, as for a Windows DLL.
#pragma once

#if defined(_WIN32)
#  if defined(RERAZUD_BUILDING)
#    define KY_UTILS_API __declspec(dllexport)
#  else
#    define KY_UTILS_API __declspec(dllimport)
#  endif
#else
#  define KY_UTILS_API __attribute__((visibility("default")))
#endif
