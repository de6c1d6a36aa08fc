// Calls from the platform's frames (window procedures, listing callbacks) stop every
// exception at that boundary. A build without exceptions, the release installer, has none to
// stop: there the guarded block runs plainly and the handler is never reached.
#pragma once

#if defined(__cpp_exceptions)
#define VLN2_TRY try
#define VLN2_CATCH_ALL catch (...)
#else
#define VLN2_TRY if (true)
#define VLN2_CATCH_ALL else
#endif
