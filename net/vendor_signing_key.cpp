// The vendor's public signing key of this build, from the build setting
// VENDOR_SIGNING_KEY. It lies in this one object of its own: a change of the
// key rebuilds nothing else, and the copy of the program that the signature
// tests run differs from the deployed one by this object alone.
#include "net/description_check.h"

const char kVendorSigningKey[] = MRV_VENDOR_SIGNING_KEY;
