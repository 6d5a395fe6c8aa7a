// Export macro of the SQL library voVerizezavSql.
//
// voVerizezavSql is built with hidden symbols; exactly the declarations
// marked KY_SQL_API form its exported surface, as for a Windows DLL.
#pragma once

#if defined(_WIN32)
#  if defined(VOVERIZEZAVSQL_BUILDING)
#    define KY_SQL_API __declspec(dllexport)
#  else
#    define KY_SQL_API __declspec(dllimport)
#  endif
#else
#  define KY_SQL_API __attribute__((visibility("default")))  ///< Marks what voVerizezavSql exports.
#endif
