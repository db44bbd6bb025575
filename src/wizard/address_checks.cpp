#include "wizard/address_checks.h"
