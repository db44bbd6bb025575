#include "bits/modBitOps.h"
