// Export macro of the metamodel library voVerizezav.
//
// voVerizezav is built with hidden symbols; exactly the classes marked
// KY_METAMODEL_API form its exported surface, as for a Windows DLL.
#pragma once

#if defined(_WIN32)
#  if defined(VOVERIZEZAV_BUILDING)
#    define KY_METAMODEL_API __declspec(dllexport)
#  else
#    define KY_METAMODEL_API __declspec(dllimport)
#  endif
#else
#  define KY_METAMODEL_API __attribute__((visibility("default")))  ///< Marks what voVerizezav exports.
#endif
