// Stand-ins for libpelbook.so: one that lacks most of its exports, and (with
// KAVO_FAKE_COMPLETE) one with all ten over an empty address book.
#include <stdint.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

EXPORT int PelbookOpen(void*) { return 1; }

#ifdef KAVO_FAKE_COMPLETE
EXPORT int PelbookGetNumEntries(void*) { return 0; }
EXPORT int PelbookGetEntries(void*, void*, int) { return 0; }
EXPORT int PelbookGetProp_String(void*, const void*, uint32_t, char*, int, int) { return 0; }
EXPORT int PelbookGetProp_SysTime(void*, const void*, uint32_t, uint64_t*) { return 0; }
EXPORT int PelbookGetProp_Long(void*, const void*, uint32_t, int32_t*) { return 0; }
EXPORT int PelbookGetProp_Bool(void*, const void*, uint32_t, int32_t*) { return 0; }
EXPORT int PelbookGetProp_Short(void*, const void*, uint32_t, int16_t*) { return 0; }
EXPORT int PelbookFreeEntries(void*, void*, int) { return 1; }
EXPORT int PelbookClose(void*) { return 1; }
#endif
