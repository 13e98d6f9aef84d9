// Placeholder until the entry point is built.
#include "ServerApi.h"
extern "C" __attribute__((visibility("default"))) ServerApiResult InitServerAPI(int32_t, const ServerApiFunctions **) { return ApiFailed; }
