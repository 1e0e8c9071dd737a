// This layer refuses a head that ends before its blank line itself.
#include "platform/seam.h"

bool PlatformMayCutRawHeads() { return false; }
