// A LIST listing as it comes over the data connection, Unix and DOS lines
// mixed, cut into pieces whose size the first byte chooses: read in pieces it
// must give what it gives whole.
#include "FuzzListing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    return sapi::ftpclient::FuzzListing(data, size, sapi::ftpclient::ListingFormat::List);
}
