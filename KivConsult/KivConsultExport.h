#pragma once

// Export macro of the module. Only the facade (KivConsult) is exported; every other class
// stays inside the library.
#include <QtGlobal>

#if defined(KIVCONSULT_LIBRARY)
#define KIVCONSULT_EXPORT Q_DECL_EXPORT
#else
#define KIVCONSULT_EXPORT Q_DECL_IMPORT
#endif
