// Export macro of the model-file library voVerizezavFile.
//
// voVerizezavFile is built with hidden symbols; exactly the functions and
// types marked KY_MODELFILE_API form its exported surface.
#pragma once

#if defined(_WIN32)
#  if defined(VOVERIZEZAVFILE_BUILDING)
#    define KY_MODELFILE_API __declspec(dllexport)
#  else
#    define KY_MODELFILE_API __declspec(dllimport)
#  endif
#else
#  define KY_MODELFILE_API __attribute__((visibility("default")))  ///< Marks what voVerizezavFile exports.
#endif
