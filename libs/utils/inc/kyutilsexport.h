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
#  define KY_UTILS_API __attribute__((visibility("default")))  ///< Marks what reRazud exports.
#endif

/// Gives a header-only class template default visibility, so that its
/// instantiations (refPtr<refObj>, sharedPtr<...>) keep one type identity and
/// the holders built on them can be exported. Nothing to do on Windows, where
/// visibility is decided by KY_UTILS_API alone.
#if defined(_WIN32)
#  define KY_UTILS_TEMPLATE
#else
#  define KY_UTILS_TEMPLATE __attribute__((visibility("default")))
#endif
